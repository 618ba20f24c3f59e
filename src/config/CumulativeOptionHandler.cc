#include "config/CumulativeOptionHandler.h"

#include "config/Option.h"

namespace quarn {

void CumulativeOptionHandler::parseArg(Option& option, const std::string& value) const {
  option.put(pref_, option.get(pref_) + value + delimiter_);
}

}  // namespace quarn
