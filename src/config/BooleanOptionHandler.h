#pragma once

#include "config/AbstractOptionHandler.h"

namespace quarn {

// Stores exactly "true" or "false"; a missing value means "true" unless the
// option requires one.
class BooleanOptionHandler : public AbstractOptionHandler {
 public:
  BooleanOptionHandler(const Pref* pref, const char* description = NO_DESCRIPTION,
                       const std::string& defaultValue = NO_DEFAULT_VALUE,
                       ARG_TYPE argType = ARG_NONE, char shortName = 0)
      : AbstractOptionHandler(pref, description, defaultValue, argType, shortName) {}
  std::string createPossibleValuesString() const override { return "true, false"; }

 protected:
  void parseArg(Option& option, const std::string& value) const override;
};

}  // namespace quarn
