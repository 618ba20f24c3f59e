#include "config/NumberOptionHandler.h"

#include "config/Option.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_number.h"

namespace quarn {

void NumberOptionHandler::parseArg(Option& option, const std::string& value) const {
  int64_t number;
  if (!util::parseLLIntNoThrow(number, value, 10)) {
    throw DL_ABORT_EX(fmt("Bad number %s", value.c_str()));
  }
  parseArg(option, number);
}

void NumberOptionHandler::parseArg(Option& option, int64_t number) const {
  if ((min_ == -1 || number >= min_) && (max_ == -1 || number <= max_)) {
    option.put(pref_, util::itos(number));
    return;
  }
  std::string msg = pref_->k;
  msg += " ";
  if (min_ == -1 && max_ == -1) {
    msg += _("must be a number.");
  } else if (min_ == -1) {
    msg += fmt(_("must be smaller than or equal to %lld."), static_cast<long long>(max_));
  } else if (max_ == -1) {
    msg += fmt(_("must be greater than or equal to %lld."), static_cast<long long>(min_));
  } else {
    msg += fmt(_("must be between %lld and %lld."), static_cast<long long>(min_),
               static_cast<long long>(max_));
  }
  throw DL_ABORT_EX(msg);
}

std::string NumberOptionHandler::createPossibleValuesString() const {
  std::string values = min_ == -1 ? "*" : util::itos(min_);
  values += "-";
  values += max_ == -1 ? "*" : util::itos(max_);
  return values;
}

}  // namespace quarn
