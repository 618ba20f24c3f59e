#pragma once

#include "config/AbstractOptionHandler.h"

namespace quarn {

// A decimal fraction within [min, max]; a negative bound leaves a side open.
// The text is stored as given.
class FloatNumberOptionHandler : public AbstractOptionHandler {
 public:
  FloatNumberOptionHandler(const Pref* pref, const char* description = NO_DESCRIPTION,
                           const std::string& defaultValue = NO_DEFAULT_VALUE, double min = -1,
                           double max = -1, char shortName = 0)
      : AbstractOptionHandler(pref, description, defaultValue, ARG_REQUIRED, shortName),
        min_(min),
        max_(max) {}
  std::string createPossibleValuesString() const override;

 protected:
  void parseArg(Option& option, const std::string& value) const override;

 private:
  double min_;
  double max_;
};

}  // namespace quarn
