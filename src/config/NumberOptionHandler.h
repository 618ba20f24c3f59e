#pragma once

#include <cstdint>

#include "config/AbstractOptionHandler.h"

namespace quarn {

// A decimal integer within [min, max]; -1 leaves a side unbounded. The number
// is stored in plain decimal.
class NumberOptionHandler : public AbstractOptionHandler {
 public:
  NumberOptionHandler(const Pref* pref, const char* description = NO_DESCRIPTION,
                      const std::string& defaultValue = NO_DEFAULT_VALUE, int64_t min = -1,
                      int64_t max = -1, char shortName = 0)
      : AbstractOptionHandler(pref, description, defaultValue, ARG_REQUIRED, shortName),
        min_(min),
        max_(max) {}
  std::string createPossibleValuesString() const override;

 protected:
  void parseArg(Option& option, const std::string& value) const override;
  // Checks the bounds and stores the number.
  void parseArg(Option& option, int64_t number) const;

 private:
  int64_t min_;
  int64_t max_;
};

}  // namespace quarn
