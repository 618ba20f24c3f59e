#include "config/IntegerRangeOptionHandler.h"

#include "config/Option.h"
#include "foundation/DlAbortEx.h"
#include "foundation/SegList.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_range.h"

namespace quarn {

void IntegerRangeOptionHandler::parseArg(Option& option, const std::string& value) const {
  auto sgl = util::parseIntSegments(value);
  sgl.normalize();
  // Storing once per checked number changes nothing after the first; a value
  // is stored as soon as one number passed, even when a later one fails.
  bool stored = false;
  while (sgl.hasNext()) {
    int v = sgl.next();
    if (v < min_ || max_ < v) {
      throw DL_ABORT_EX(std::string(pref_->k) + " " +
                        fmt(_("must be between %d and %d."), min_, max_));
    }
    if (!stored) {
      option.put(pref_, value);
      stored = true;
    }
  }
}

std::string IntegerRangeOptionHandler::createPossibleValuesString() const {
  return fmt("%d-%d", min_, max_);
}

}  // namespace quarn
