#include "config/option_processing.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "config/Option.h"
#include "config/OptionHandler.h"
#include "config/OptionHandlerException.h"
#include "config/OptionParser.h"
#include "config/help_tags.h"
#include "config/prefs.h"
#include "config/usage.h"
#include "foundation/File.h"
#include "foundation/Logger.h"
#include "foundation/OutputFile.h"
#include "foundation/UnknownOptionException.h"
#include "foundation/console.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"

namespace quarn {

void overrideWithEnv(Option& op, const OptionParser& parser, const Pref* pref,
                     const std::string& envName) {
  const char* value = std::getenv(envName.c_str());
  if (!value) {
    return;
  }
  try {
    parser.find(pref)->parse(op, value);
  } catch (const Exception& e) {
    global::cerr()->printf(_("Caught Error while parsing environment variable '%s'"),
                           envName.c_str());
    global::cerr()->printf("\n%s\n", e.stackTrace().c_str());
  }
}

int optionNameDistance(const std::string& typed, const std::string& name) {
  const int swapCost = 0;
  const int substitutionCost = 2;
  const int insertionCost = 1;  // a character of the name that was not typed
  const int deletionCost = 4;   // a typed character the name lacks
  std::vector<std::vector<int>> dp(3, std::vector<int>(name.size() + 1));
  for (size_t j = 0; j <= name.size(); ++j) {
    dp[0][j] = static_cast<int>(j);
  }
  for (size_t i = 1; i <= typed.size(); ++i) {
    auto& row = dp[i % 3];
    const auto& prev = dp[(i + 2) % 3];
    const auto& prev2 = dp[(i + 1) % 3];
    row[0] = static_cast<int>(i);
    for (size_t j = 1; j <= name.size(); ++j) {
      bool same = typed[i - 1] == name[j - 1];
      int best = prev[j - 1] + (same ? 0 : substitutionCost);
      if (i >= 2 && j >= 2 && !same && typed[i - 2] == name[j - 1] && typed[i - 1] == name[j - 2]) {
        best = std::min(best, prev2[j - 2] + swapCost);
      }
      best = std::min(best, prev[j] + deletionCost);
      best = std::min(best, row[j - 1] + insertionCost);
      row[j] = best;
    }
  }
  return dp[typed.size() % 3][name.size()];
}

void showCandidates(const std::string& unknownOption, const OptionParser& parser) {
  auto start = unknownOption.find_first_not_of('-');
  if (start == std::string::npos) {
    return;
  }
  auto typed = unknownOption.substr(start);
  std::vector<std::pair<int, const OptionHandler*>> scored;
  for (size_t i = 1, len = option::countOption(); i < len; ++i) {
    auto h = parser.findById(i);
    if (!h) {
      continue;
    }
    std::string name = h->getName();
    int score = util::startsWith(name, typed) ? 0 : optionNameDistance(typed, name);
    scored.emplace_back(score, h);
  }
  if (scored.empty()) {
    return;
  }
  // Ties keep the order in which the options were created.
  std::stable_sort(scored.begin(), scored.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  const int maxScore = 12;
  int best = scored.front().first;
  if (best > maxScore) {
    return;
  }
  auto& err = global::cerr();
  err->printf("\n");
  err->printf(_("Did you mean:"));
  err->printf("\n");
  for (const auto& [score, h] : scored) {
    if (score != best) {
      break;
    }
    err->printf("\t--%s\n", h->getName());
  }
}

namespace {

// The help keyword: the given value with a leading "--" and anything from the
// first '=' removed, so that "--help=--max-tries=5" looks up "max-tries".
std::string helpKeyword(const std::string& value) {
  if (value.empty()) {
    return strHelpTag(TAG_BASIC);
  }
  std::string keyword = value;
  if (util::startsWith(keyword, "--")) {
    keyword.erase(0, 2);
  }
  auto eq = keyword.find('=');
  if (eq != std::string::npos) {
    keyword.erase(eq);
  }
  return keyword;
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Returns 0 when the configuration file was read or skipped, otherwise the
// status to end with.
int readConfigFile(Option& base, const OptionParser& parser, const std::string& givenPath) {
  const auto& cpath =
      givenPath.empty() ? parser.find(PREF_CONF_PATH)->getDefaultValue() : givenPath;
  if (!File(cpath).isFile()) {
    if (givenPath.empty()) {
      return 0;
    }
    global::cerr()->printf(_("Configuration file %s is not found."), cpath.c_str());
    global::cerr()->printf("\n");
    showUsage(strHelpTag(TAG_HELP), parser, global::cerr());
    return error_code::UNKNOWN_ERROR;
  }
  std::stringstream ss(readWholeFile(cpath));
  try {
    parser.parse(base, ss);
  } catch (const Exception& e) {
    global::cerr()->printf(_("Parse error in %s"), cpath.c_str());
    global::cerr()->printf("\n%s", e.stackTrace().c_str());
    auto optionError = dynamic_cast<const OptionHandlerException*>(&e);
    if (auto h = optionError ? parser.find(optionError->getPref()) : nullptr) {
      global::cerr()->printf(_("Usage:"));
      global::cerr()->printf("\n%s\n", h->getDescription());
    }
    return e.getErrorCode();
  }
  return 0;
}

// Standalone checks after all layers are in place. Returns 0 to go on.
int finishStandalone(const Option& option, const OptionParser& parser,
                     const std::vector<std::string>& uris) {
  if (option.getAsBool(PREF_STDERR)) {
    global::redirectStdoutToStderr();
  }
  if (!option.getAsBool(PREF_ENABLE_RPC) && option.blank(PREF_TORRENT_FILE) &&
      option.blank(PREF_METALINK_FILE) && option.blank(PREF_INPUT_FILE) && uris.empty()) {
    global::cerr()->printf(_("Specify at least one URL."));
    global::cerr()->printf("\n");
    showUsage("", parser, global::cerr());
    return error_code::UNKNOWN_ERROR;
  }
  if (option.getAsBool(PREF_DAEMON)) {
    if (daemon(0, 0) < 0) {
      perror(_("daemon failed."));
      return error_code::UNKNOWN_ERROR;
    }
  }
  return 0;
}

}  // namespace

int option_processing(Option& op, bool standalone, std::vector<std::string>& uris, int argc,
                      char* argv[], const std::vector<std::pair<std::string, std::string>>& pairs) {
  const auto& parser = *OptionParser::getInstance();
  try {
    std::stringstream cmdstream;
    {
      Option commandLine;
      if (argc) {
        parser.parseArg(cmdstream, uris, argc, argv);
        parser.parse(commandLine, cmdstream);
      } else {
        parser.parse(commandLine, pairs);
      }
      bool noConf = commandLine.getAsBool(PREF_NO_CONF);
      std::string confPath = commandLine.get(PREF_CONF_PATH);
      if (standalone) {
        if (commandLine.defined(PREF_VERSION)) {
          showVersion();
          std::exit(error_code::FINISHED);
        }
        if (commandLine.defined(PREF_HELP)) {
          showUsage(helpKeyword(commandLine.get(PREF_HELP)), parser, global::cout());
          global::cout()->flush();
          std::exit(error_code::FINISHED);
        }
      }
      auto base = std::make_shared<Option>();
      parser.parseDefaultValues(*base);
      if (!noConf) {
        int status = readConfigFile(*base, parser, confPath);
        if (status != 0) {
          return status;
        }
      }
      overrideWithEnv(*base, parser, PREF_HTTP_PROXY, "http_proxy");
      overrideWithEnv(*base, parser, PREF_HTTPS_PROXY, "https_proxy");
      overrideWithEnv(*base, parser, PREF_FTP_PROXY, "ftp_proxy");
      overrideWithEnv(*base, parser, PREF_ALL_PROXY, "all_proxy");
      overrideWithEnv(*base, parser, PREF_NO_PROXY, "no_proxy");
      if (!standalone) {
        base->put(PREF_QUIET, QN_V_TRUE);
      }
      cmdstream.clear();
      cmdstream.seekg(0, std::ios::beg);
      op.setParent(base);
      parser.parse(op, cmdstream);
      parser.parse(op, pairs);
    }
  } catch (const OptionHandlerException& e) {
    global::cerr()->printf("%s", e.stackTrace().c_str());
    if (auto h = parser.find(e.getPref())) {
      global::cerr()->printf(_("Usage:"));
      global::cerr()->printf("\n");
      write(*global::cerr(), *h);
    }
    return e.getErrorCode();
  } catch (const UnknownOptionException& e) {
    showUsage("", parser, global::cerr());
    showCandidates(e.getUnknownOption(), parser);
    return e.getErrorCode();
  } catch (const Exception& e) {
    global::cerr()->printf("%s", e.stackTrace().c_str());
    showUsage("", parser, global::cerr());
    return e.getErrorCode();
  }
  if (standalone) {
    int status = finishStandalone(op, parser, uris);
    if (status != 0) {
      return status;
    }
  }
  if (op.getAsBool(PREF_DEFERRED_INPUT) && op.defined(PREF_SAVE_SESSION)) {
    QLOG_WARN("--deferred-input is disabled because of the presence of --save-session");
    op.remove(PREF_DEFERRED_INPUT);
  }
  return 0;
}

}  // namespace quarn
