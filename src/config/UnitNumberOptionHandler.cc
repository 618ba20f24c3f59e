#include "config/UnitNumberOptionHandler.h"

#include "foundation/util_number.h"

namespace quarn {

void UnitNumberOptionHandler::parseArg(Option& option, const std::string& value) const {
  NumberOptionHandler::parseArg(option, util::getRealSize(value));
}

}  // namespace quarn
