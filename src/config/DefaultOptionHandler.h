#pragma once

#include "config/AbstractOptionHandler.h"

namespace quarn {

// Stores any text as given; the empty text only when allowed.
class DefaultOptionHandler : public AbstractOptionHandler {
 public:
  DefaultOptionHandler(const Pref* pref, const char* description = NO_DESCRIPTION,
                       const std::string& defaultValue = NO_DEFAULT_VALUE,
                       const std::string& possibleValuesString = "",
                       ARG_TYPE argType = ARG_REQUIRED, char shortName = 0)
      : AbstractOptionHandler(pref, description, defaultValue, argType, shortName),
        possibleValuesString_(possibleValuesString),
        allowEmpty_(true) {}
  std::string createPossibleValuesString() const override { return possibleValuesString_; }
  void setAllowEmpty(bool allow) { allowEmpty_ = allow; }

 protected:
  void parseArg(Option& option, const std::string& value) const override;

 private:
  std::string possibleValuesString_;
  bool allowEmpty_;
};

}  // namespace quarn
