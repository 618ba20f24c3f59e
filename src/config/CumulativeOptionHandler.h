#pragma once

#include "config/AbstractOptionHandler.h"

namespace quarn {

// Appends each value and the delimiter to what the option already holds,
// including what a parent layer holds.
class CumulativeOptionHandler : public AbstractOptionHandler {
 public:
  CumulativeOptionHandler(const Pref* pref, const char* description = NO_DESCRIPTION,
                          const std::string& defaultValue = NO_DEFAULT_VALUE,
                          const std::string& delimiter = "\n",
                          const std::string& possibleValuesString = "",
                          ARG_TYPE argType = ARG_REQUIRED, char shortName = 0)
      : AbstractOptionHandler(pref, description, defaultValue, argType, shortName),
        delimiter_(delimiter),
        possibleValuesString_(possibleValuesString) {}
  std::string createPossibleValuesString() const override { return possibleValuesString_; }

 protected:
  void parseArg(Option& option, const std::string& value) const override;

 private:
  std::string delimiter_;
  std::string possibleValuesString_;
};

}  // namespace quarn
