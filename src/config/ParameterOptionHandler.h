#pragma once

#include <string>
#include <vector>

#include "config/AbstractOptionHandler.h"

namespace quarn {

// One word out of a fixed list, compared exactly.
class ParameterOptionHandler : public AbstractOptionHandler {
 public:
  ParameterOptionHandler(const Pref* pref, const char* description, const std::string& defaultValue,
                         std::vector<std::string> validParamValues, char shortName = 0)
      : AbstractOptionHandler(pref, description, defaultValue, ARG_REQUIRED, shortName),
        validParamValues_(std::move(validParamValues)) {}
  std::string createPossibleValuesString() const override;

 protected:
  void parseArg(Option& option, const std::string& value) const override;

 private:
  std::vector<std::string> validParamValues_;
};

}  // namespace quarn
