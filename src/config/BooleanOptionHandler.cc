#include "config/BooleanOptionHandler.h"

#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"
#include "foundation/i18n.h"

namespace quarn {

void BooleanOptionHandler::parseArg(Option& option, const std::string& value) const {
  if (value == QN_V_TRUE || (value.empty() && argType_ != ARG_REQUIRED)) {
    option.put(pref_, QN_V_TRUE);
  } else if (value == QN_V_FALSE) {
    option.put(pref_, QN_V_FALSE);
  } else {
    throw DL_ABORT_EX(std::string(pref_->k) + " " + _("must be either 'true' or 'false'."));
  }
}

}  // namespace quarn
