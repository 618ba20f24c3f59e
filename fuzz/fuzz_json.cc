// Feeds arbitrary bytes to the JSON reader whole and one byte at a time: both must agree,
// and a tree that was read must survive writing and reading again unchanged. The same bytes
// also go through the decoding of GET request parameters.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/GenericParser.h"
#include "foundation/JsonParser.h"
#include "foundation/ValueBaseStructParserStateMachine.h"
#include "foundation/json.h"

namespace {

using JsonReader =
    quarn::GenericParser<quarn::json::JsonParser, quarn::ValueBaseStructParserStateMachine>;

std::string readWhole(JsonReader& reader, const char* data, size_t size) {
  ssize_t error;
  auto value = reader.parseFinal(data, size, error);
  if (error < 0) {
    return "error " + std::to_string(error);
  }
  return value ? quarn::json::encode(value.get()) : "none";
}

std::string readBytewise(JsonReader& reader, const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (reader.parseUpdate(data + i, 1) < 0) {
      break;
    }
  }
  return readWhole(reader, nullptr, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  JsonReader reader;
  std::string whole = readWhole(reader, text, size);
  std::string bytewise = readBytewise(reader, text, size);
  if (whole != bytewise) {
    abort();
  }
  if (whole.rfind("error", 0) != 0 && whole != "none") {
    // A bare number needs a terminator to be complete.
    std::string again = readWhole(reader, (whole + " ").data(), whole.size() + 1);
    if (again != whole) {
      abort();
    }
  }
  // The query of a GET request is untrusted too; a callback that comes back is a plain name.
  std::string callback = quarn::json::decodeGetParams(std::string(text, size)).callback;
  for (char c : callback) {
    if (!isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$' && c != '.') {
      abort();
    }
  }
  return 0;
}
