#include "config/OptionParser.h"

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <ostream>

#include "config/Option.h"
#include "config/OptionHandler.h"
#include "config/OptionHandlerFactory.h"
#include "config/option_text.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"
#include "foundation/Logger.h"
#include "foundation/UnknownOptionException.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

[[noreturn]] void assertionFailed(const char* expr) {
  std::fprintf(stderr, "Assertion failed: %s\n", expr);
  std::abort();
}

}  // namespace

std::shared_ptr<OptionParser> OptionParser::optionParser_;

OptionParser::OptionParser() : handlers_(option::countOption()), shortOpts_{} {}

OptionParser::~OptionParser() {
  for (auto h : handlers_) {
    delete h;
  }
}

void OptionParser::addOptionHandler(OptionHandler* handler) {
  size_t optId = handler->getPref()->i;
  if (optId >= handlers_.size()) {
    assertionFailed("optId < handlers_.size()");
  }
  if (handlers_[optId] != handler) {
    delete handlers_[optId];
  }
  handlers_[optId] = handler;
  if (handler->getShortName()) {
    shortOpts_[static_cast<unsigned char>(handler->getShortName())] = optId;
  }
}

void OptionParser::setOptionHandlers(const std::vector<OptionHandler*>& handlers) {
  for (auto h : handlers) {
    addOptionHandler(h);
  }
}

const OptionHandler* OptionParser::visible(size_t id) const {
  if (id >= handlers_.size()) {
    return nullptr;
  }
  auto h = handlers_[id];
  return h && !h->isHidden() ? h : nullptr;
}

const OptionHandler* OptionParser::find(const Pref* pref) const {
  return visible(pref->i);
}

const OptionHandler* OptionParser::findById(size_t id) const {
  return visible(id);
}

const OptionHandler* OptionParser::findByShortName(char shortName) const {
  auto id = shortOpts_[static_cast<unsigned char>(shortName)];
  return id ? visible(id) : nullptr;
}

std::vector<const OptionHandler*> OptionParser::findByTag(unsigned int tag) const {
  std::vector<const OptionHandler*> result;
  for (size_t i = 1; i < handlers_.size(); ++i) {
    auto h = visible(i);
    if (h && h->hasTag(tag)) {
      result.push_back(h);
    }
  }
  return result;
}

std::vector<const OptionHandler*> OptionParser::findByNameSubstring(
    const std::string& substring) const {
  std::vector<const OptionHandler*> result;
  for (size_t i = 1; i < handlers_.size(); ++i) {
    auto h = visible(i);
    if (h && std::strstr(h->getName(), substring.c_str())) {
      result.push_back(h);
    }
  }
  return result;
}

std::vector<const OptionHandler*> OptionParser::findAll() const {
  std::vector<const OptionHandler*> result;
  for (size_t i = 1; i < handlers_.size(); ++i) {
    if (auto h = visible(i)) {
      result.push_back(h);
    }
  }
  return result;
}

void OptionParser::parseArg(std::ostream& out, std::vector<std::string>& nonopts, int argc,
                            char* argv[]) const {
  int lopt;
  std::vector<struct option> longOpts;
  std::string optstring;
  for (size_t i = 1; i < handlers_.size(); ++i) {
    auto h = visible(i);
    if (!h) {
      continue;
    }
    struct option o {};
    o.name = h->getName();
    switch (h->getArgType()) {
      case OptionHandler::ARG_REQUIRED:
        o.has_arg = required_argument;
        break;
      case OptionHandler::ARG_OPTIONAL:
        o.has_arg = optional_argument;
        break;
      case OptionHandler::ARG_NONE:
        o.has_arg = no_argument;
        break;
      default:
        assertionFailed("known argument kind");
    }
    if (h->getShortName()) {
      o.flag = nullptr;
      o.val = static_cast<unsigned char>(h->getShortName());
      optstring += h->getShortName();
      if (h->getArgType() == OptionHandler::ARG_REQUIRED) {
        optstring += ":";
      } else if (h->getArgType() == OptionHandler::ARG_OPTIONAL) {
        optstring += "::";
      }
    } else {
      o.flag = &lopt;
      o.val = static_cast<int>(i);
    }
    longOpts.push_back(o);
  }
  longOpts.push_back({});

  // getopt_long keeps its position in globals; start every reading afresh.
  optind = 0;
  while (true) {
    int c = getopt_long(argc, argv, optstring.c_str(), longOpts.data(), nullptr);
    if (c == -1) {
      break;
    }
    const OptionHandler* op;
    if (c == 0) {
      op = findById(lopt);
    } else if (c == '?') {
      raiseParseError(optind, argv);
    } else {
      op = findByShortName(static_cast<char>(c));
    }
    if (!op) {
      assertionFailed("op");
    }
    out << op->getName() << "=";
    if (optarg) {
      out << optarg;
      if (op->getEraseAfterParse()) {
        for (char* p = optarg; *p; ++p) {
          *p = '*';
        }
      }
    }
    out << "\n";
  }
  for (int i = optind; i < argc; ++i) {
    nonopts.push_back(argv[i]);
  }
}

void OptionParser::raiseParseError(int nextIndex, char* argv[]) const {
  auto failure = [] {
    return DL_ABORT_EX("Failed to parse command-line options.", error_code::OPTION_ERROR);
  };
  if (nextIndex == 1) {
    throw failure();
  }
  std::string unknown = argv[nextIndex - 1];
  if (unknown.size() < 2 || unknown[0] != '-' || unknown[1] != '-') {
    throw failure();
  }
  auto nameStart = unknown.find_first_not_of('-');
  auto name = nameStart == std::string::npos ? std::string() : unknown.substr(nameStart);
  size_t prefixMatches = 0;
  for (size_t i = 1; i < handlers_.size(); ++i) {
    auto h = visible(i);
    if (!h) {
      continue;
    }
    std::string optName = h->getName();
    if (optName == name) {
      throw failure();
    }
    if (util::startsWith(optName, name)) {
      ++prefixMatches;
    }
  }
  if (prefixMatches == 1) {
    throw failure();
  }
  throw UNKNOWN_OPTION_EXCEPTION(unknown);
}

void OptionParser::applyLine(Option& option, const std::string& line) const {
  auto [name, value] = option_text::divideStripped(line, '=');
  if (name.empty()) {
    return;
  }
  apply(option, name, value, line);
}

void OptionParser::apply(Option& option, const std::string& name, const std::string& value,
                         const std::string& origin) const {
  auto h = find(option::k2p(name));
  if (h) {
    h->parse(option, value);
  } else {
    QLOG_WARN(fmt("Unknown option: %s", origin.c_str()));
  }
}

void OptionParser::parse(Option& option, std::istream& is) const {
  std::string line;
  while (std::getline(is, line)) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    applyLine(option, line);
  }
}

void OptionParser::parse(Option& option,
                         const std::vector<std::pair<std::string, std::string>>& options) const {
  for (const auto& [name, value] : options) {
    apply(option, name, value, name);
  }
}

void OptionParser::parseDefaultValues(Option& option) const {
  for (size_t i = 1; i < handlers_.size(); ++i) {
    auto h = handlers_[i];
    if (h && !h->getDefaultValue().empty()) {
      h->parse(option, h->getDefaultValue());
    }
  }
}

const std::shared_ptr<OptionParser>& OptionParser::getInstance() {
  if (!optionParser_) {
    optionParser_ = std::make_shared<OptionParser>();
    auto handlers = OptionHandlerFactory::createOptionHandlers();
    optionParser_->setOptionHandlers(handlers);
  }
  return optionParser_;
}

void OptionParser::deleteInstance() {
  optionParser_.reset();
}

}  // namespace quarn
