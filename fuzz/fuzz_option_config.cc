// Configuration-file text through the option parser and every handler kind.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "config/Option.h"
#include "config/OptionParser.h"
#include "foundation/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& parser = quarn::OptionParser::getInstance();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  quarn::Option option;
  try {
    parser->parse(option, in);
  } catch (const quarn::Exception&) {
  }
  return 0;
}
