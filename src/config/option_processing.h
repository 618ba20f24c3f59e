#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "config/Pref.h"

namespace quarn {

class Option;
class OptionParser;

// Fills `option` from the built-in defaults, the configuration file, the proxy
// environment variables and the command line (or `pairs`), in that order of
// precedence, lowest first. Answers --version and --help itself (the process
// exits with 0). Returns 0 on success, otherwise the status to exit with.
int option_processing(Option& option, bool standalone, std::vector<std::string>& uris, int argc,
                      char* argv[], const std::vector<std::pair<std::string, std::string>>& pairs);

// Hands the value of environment variable `envName`, when set, to the handler of
// `pref`; a rejected value is reported and otherwise ignored.
void overrideWithEnv(Option& op, const OptionParser& parser, const Pref* pref,
                     const std::string& envName);

// Prints "Did you mean:" and the option names closest to an unknown option.
void showCandidates(const std::string& unknownOption, const OptionParser& parser);

// The weighted edit distance used to rank candidates: a missing character of
// the name costs 1, an extra typed character 4, a substitution 2, and
// swapping two adjacent characters is free.
int optionNameDistance(const std::string& typed, const std::string& name);

}  // namespace quarn
