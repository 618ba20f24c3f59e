#include "config/OptimizeConcurrentDownloadsOptionHandler.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "config/Option.h"
#include "config/option_text.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

// A coefficient must be a whole, finite number; an empty one passes and is
// stored empty.
void checkCoefficient(const std::string& text) {
  if (text.empty()) {
    return;
  }
  errno = 0;
  char* end;
  double d = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(d)) {
    throw DL_ABORT_EX(fmt("Bad number '%s'", text.c_str()));
  }
}

}  // namespace

void OptimizeConcurrentDownloadsOptionHandler::parseArg(Option& option,
                                                        const std::string& value) const {
  if (value.empty() || value == QN_V_TRUE) {
    option.put(pref_, QN_V_TRUE);
    return;
  }
  if (value == QN_V_FALSE) {
    option.put(pref_, QN_V_FALSE);
    return;
  }
  auto [coeffA, coeffB] = option_text::divideStripped(value, ':');
  if (coeffB.empty()) {
    throw DL_ABORT_EX(
        std::string(pref_->k) + " " +
        _("must be either 'true', 'false' or a pair numeric coefficients A and B under the form "
          "'A:B'."));
  }
  checkCoefficient(coeffA);
  option.put(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFA, coeffA);
  checkCoefficient(coeffB);
  option.put(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFB, coeffB);
  option.put(pref_, QN_V_TRUE);
}

}  // namespace quarn
