#include "config/AbstractOptionHandler.h"

#include "config/OptionHandlerException.h"
#include "config/help_tags.h"

namespace quarn {

const char NO_DESCRIPTION[] = "";
const std::string NO_DEFAULT_VALUE;
const std::string PATH_TO_FILE = "/path/to/file";
const std::string PATH_TO_FILE_STDIN = "/path/to/file, -";
const std::string PATH_TO_FILE_STDOUT = "/path/to/file, -";
const std::string PATH_TO_DIR = "/path/to/directory";
const std::string PATH_TO_COMMAND = "/path/to/command";

AbstractOptionHandler::AbstractOptionHandler(const Pref* pref, const char* description,
                                             const std::string& defaultValue, ARG_TYPE argType,
                                             char shortName)
    : pref_(pref),
      description_(description),
      defaultValue_(defaultValue),
      argType_(argType),
      shortName_(shortName),
      tags_(0),
      flags_(0) {}

void AbstractOptionHandler::parse(Option& option, const std::string& value) const {
  try {
    parseArg(option, value);
  } catch (const Exception& e) {
    throw OPTION_HANDLER_EXCEPTION(pref_, e);
  }
}

bool AbstractOptionHandler::hasTag(unsigned int tag) const {
  return tags_ & (1u << (tag % 32));
}

void AbstractOptionHandler::addTag(unsigned int tag) {
  tags_ |= 1u << (tag % 32);
}

std::string AbstractOptionHandler::toTagString() const {
  std::string s;
  for (unsigned int tag = 0; tag < MAX_HELP_TAG; ++tag) {
    if (hasTag(tag)) {
      if (!s.empty()) {
        s += ", ";
      }
      s += strHelpTag(tag);
    }
  }
  return s;
}

void AbstractOptionHandler::updateFlag(Flag f, bool set) {
  if (set) {
    flags_ |= f;
  } else {
    flags_ &= ~f;
  }
}

}  // namespace quarn
