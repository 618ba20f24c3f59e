#include "config/FloatNumberOptionHandler.h"

#include <cmath>
#include <cstdlib>

#include "config/Option.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"

namespace quarn {

void FloatNumberOptionHandler::parseArg(Option& option, const std::string& value) const {
  double number = std::strtod(value.c_str(), nullptr);
  bool bounded = min_ >= 0 || max_ >= 0;
  // NaN fails every comparison; refuse it explicitly whenever a bound is set.
  if (!(bounded && std::isnan(number)) && (min_ < 0 || number >= min_) &&
      (max_ < 0 || number <= max_)) {
    option.put(pref_, value);
    return;
  }
  std::string msg = pref_->k;
  msg += " ";
  if (min_ < 0 && max_ >= 0) {
    msg += fmt(_("must be smaller than or equal to %.1f."), max_);
  } else if (min_ >= 0 && max_ >= 0) {
    msg += fmt(_("must be between %.1f and %.1f."), min_, max_);
  } else if (min_ >= 0) {
    msg += fmt(_("must be greater than or equal to %.1f."), min_);
  } else {
    msg += _("must be a number.");
  }
  throw DL_ABORT_EX(msg);
}

std::string FloatNumberOptionHandler::createPossibleValuesString() const {
  std::string values = min_ < 0 ? "*" : fmt("%.1f", min_);
  values += "-";
  values += max_ < 0 ? "*" : fmt("%.1f", max_);
  return values;
}

}  // namespace quarn
