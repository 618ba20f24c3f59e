// Feeds arbitrary bytes to the bencode reader whole and one byte at a time: both must
// agree, and a tree that was read must survive writing and reading again unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/BencodeParser.h"
#include "foundation/GenericParser.h"
#include "foundation/RecoverableException.h"
#include "foundation/ValueBaseStructParserStateMachine.h"
#include "foundation/bencode2.h"

namespace {

using BencodeReader = quarn::GenericParser<quarn::bittorrent::BencodeParser,
                                           quarn::ValueBaseStructParserStateMachine>;

std::string readWhole(BencodeReader& reader, const char* data, size_t size) {
  ssize_t error;
  auto value = reader.parseFinal(data, size, error);
  if (error < 0) {
    return "error " + std::to_string(error);
  }
  return value ? "value " + quarn::bencode2::encode(value.get()) : "none";
}

std::string readBytewise(BencodeReader& reader, const char* data, size_t size) {
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
  BencodeReader reader;
  std::string whole = readWhole(reader, text, size);
  if (whole != readBytewise(reader, text, size)) {
    abort();
  }
  if (whole.rfind("value ", 0) == 0) {
    std::string encoded = whole.substr(6);
    if (readWhole(reader, encoded.data(), encoded.size()) != whole) {
      abort();
    }
  }
  try {
    quarn::bencode2::decode(data, size);
  } catch (const quarn::RecoverableException&) {
  }
  return 0;
}
