#include "config/ParameterOptionHandler.h"

#include <algorithm>

#include "config/Option.h"
#include "foundation/DlAbortEx.h"
#include "foundation/i18n.h"

namespace quarn {

void ParameterOptionHandler::parseArg(Option& option, const std::string& value) const {
  if (std::find(validParamValues_.begin(), validParamValues_.end(), value) !=
      validParamValues_.end()) {
    option.put(pref_, value);
    return;
  }
  std::string msg = pref_->k;
  msg += " ";
  msg += _("must be one of the following:");
  if (validParamValues_.empty()) {
    msg += "''";
  }
  for (const auto& v : validParamValues_) {
    msg += "'" + v + "' ";
  }
  throw DL_ABORT_EX(msg);
}

std::string ParameterOptionHandler::createPossibleValuesString() const {
  std::string values;
  for (const auto& v : validParamValues_) {
    if (!values.empty()) {
      values += ", ";
    }
    values += v;
  }
  return values;
}

}  // namespace quarn
