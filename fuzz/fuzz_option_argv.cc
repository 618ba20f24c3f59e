// A command line (one argument per input line) through getopt_long, the
// option parser and every handler kind.
#include <getopt.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "config/Option.h"
#include "config/OptionParser.h"
#include "foundation/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& parser = quarn::OptionParser::getInstance();
  std::vector<std::string> args = {"quarnc"};
  std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    args.push_back(line);
  }
  std::vector<char*> argv;
  for (auto& a : args) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  // getopt_long reports refused options on standard error; keep runs quiet.
  opterr = 0;
  std::ostringstream out;
  std::vector<std::string> positional;
  quarn::Option option;
  try {
    parser->parseArg(out, positional, static_cast<int>(args.size()), argv.data());
    std::istringstream in(out.str());
    parser->parse(option, in);
  } catch (const quarn::Exception&) {
  }
  return 0;
}
