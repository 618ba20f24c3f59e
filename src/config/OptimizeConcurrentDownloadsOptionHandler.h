#pragma once

#include "config/AbstractOptionHandler.h"

namespace quarn {

// "true", "false" or coefficients "A:B", which go to their own two options.
class OptimizeConcurrentDownloadsOptionHandler : public AbstractOptionHandler {
 public:
  OptimizeConcurrentDownloadsOptionHandler(const Pref* pref,
                                           const char* description = NO_DESCRIPTION,
                                           const std::string& defaultValue = NO_DEFAULT_VALUE,
                                           char shortName = 0)
      : AbstractOptionHandler(pref, description, defaultValue, ARG_OPTIONAL, shortName) {}
  std::string createPossibleValuesString() const override { return "true, false, A:B"; }

 protected:
  void parseArg(Option& option, const std::string& value) const override;
};

}  // namespace quarn
