#include "config/DefaultOptionHandler.h"

#include "config/Option.h"
#include "foundation/DlAbortEx.h"

namespace quarn {

void DefaultOptionHandler::parseArg(Option& option, const std::string& value) const {
  if (!allowEmpty_ && value.empty()) {
    throw DL_ABORT_EX("Empty string is not allowed");
  }
  option.put(pref_, value);
}

}  // namespace quarn
