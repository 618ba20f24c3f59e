#pragma once

#include <string>

#include "foundation/RecoverableException.h"

namespace quarn {

// An option name on the command line matched no option. Keeps the text as it
// stood in the argument vector, dashes and any attached value included.
class UnknownOptionException : public RecoverableException {
 public:
  UnknownOptionException(const char* file, int line, const std::string& unknownOption);
  UnknownOptionException(const char* file, int line, const std::string& unknownOption,
                         const Exception& cause);
  std::shared_ptr<Exception> copy() const override {
    return std::make_shared<UnknownOptionException>(*this);
  }
  const std::string& getUnknownOption() const { return unknownOption_; }

 private:
  std::string unknownOption_;
};

}  // namespace quarn

#define UNKNOWN_OPTION_EXCEPTION(...) \
  ::quarn::UnknownOptionException(QUARN_SRC_FILE, __LINE__, __VA_ARGS__)
