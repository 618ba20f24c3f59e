#pragma once

#include "config/AbstractOptionHandler.h"

namespace quarn {

// "head[=SIZE],tail[=SIZE]": checked for syntax, stored as given.
class PrioritizePieceOptionHandler : public AbstractOptionHandler {
 public:
  PrioritizePieceOptionHandler(const Pref* pref, const char* description = NO_DESCRIPTION,
                               const std::string& defaultValue = NO_DEFAULT_VALUE,
                               char shortName = 0)
      : AbstractOptionHandler(pref, description, defaultValue, ARG_REQUIRED, shortName) {}
  std::string createPossibleValuesString() const override { return "head[=SIZE], tail[=SIZE]"; }

 protected:
  void parseArg(Option& option, const std::string& value) const override;
};

}  // namespace quarn
