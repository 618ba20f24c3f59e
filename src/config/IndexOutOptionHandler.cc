#include "config/IndexOutOptionHandler.h"

#include "config/Option.h"
#include "foundation/util_path.h"

namespace quarn {

void IndexOutOptionHandler::parseArg(Option& option, const std::string& value) const {
  util::parseIndexPath(value);
  option.put(pref_, option.get(pref_) + value + "\n");
}

}  // namespace quarn
