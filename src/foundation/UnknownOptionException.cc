#include "foundation/UnknownOptionException.h"

#include "foundation/fmt.h"
#include "foundation/i18n.h"

namespace quarn {

namespace {

std::string message(const std::string& unknownOption) {
  return fmt(_("Unknown option '%s'"), unknownOption.c_str());
}

}  // namespace

UnknownOptionException::UnknownOptionException(const char* file, int line,
                                               const std::string& unknownOption)
    : RecoverableException(file, line, message(unknownOption), error_code::OPTION_ERROR),
      unknownOption_(unknownOption) {}

UnknownOptionException::UnknownOptionException(const char* file, int line,
                                               const std::string& unknownOption,
                                               const Exception& cause)
    : RecoverableException(file, line, message(unknownOption), error_code::OPTION_ERROR, cause),
      unknownOption_(unknownOption) {}

}  // namespace quarn
