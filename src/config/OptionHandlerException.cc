#include "config/OptionHandlerException.h"

#include "foundation/fmt.h"
#include "foundation/i18n.h"

namespace quarn {

namespace {

std::string message(const Pref* pref) {
  return fmt(_("We encountered a problem while processing the option '--%s'."), pref->k);
}

}  // namespace

OptionHandlerException::OptionHandlerException(const char* file, int line, const Pref* pref)
    : RecoverableException(file, line, message(pref), error_code::OPTION_ERROR), pref_(pref) {}

OptionHandlerException::OptionHandlerException(const char* file, int line, const Pref* pref,
                                               const Exception& cause)
    : RecoverableException(file, line, message(pref), error_code::OPTION_ERROR, cause),
      pref_(pref) {}

}  // namespace quarn
