#pragma once

#include <string>
#include <vector>

#include "config/AbstractOptionHandler.h"

namespace quarn {

// "TYPE=HEXDIGEST" with a digest type the program knows, optionally limited to
// a list of types.
class ChecksumOptionHandler : public AbstractOptionHandler {
 public:
  ChecksumOptionHandler(const Pref* pref, const char* description = NO_DESCRIPTION,
                        char shortName = 0)
      : AbstractOptionHandler(pref, description, NO_DEFAULT_VALUE, ARG_REQUIRED, shortName) {}
  ChecksumOptionHandler(const Pref* pref, const char* description,
                        std::vector<std::string> acceptableTypes, char shortName = 0)
      : AbstractOptionHandler(pref, description, NO_DEFAULT_VALUE, ARG_REQUIRED, shortName),
        acceptableTypes_(std::move(acceptableTypes)) {}
  std::string createPossibleValuesString() const override { return "HASH_TYPE=HEX_DIGEST"; }

 protected:
  void parseArg(Option& option, const std::string& value) const override;

 private:
  std::vector<std::string> acceptableTypes_;
};

}  // namespace quarn
