#pragma once

#include <cstdint>

#include "config/AbstractOptionHandler.h"

namespace quarn {

// A list of integers and ranges ("1,3-5") whose every member lies within
// [min, max]. The text is stored as written.
class IntegerRangeOptionHandler : public AbstractOptionHandler {
 public:
  IntegerRangeOptionHandler(const Pref* pref, const char* description = NO_DESCRIPTION,
                            const std::string& defaultValue = NO_DEFAULT_VALUE, int32_t min = 0,
                            int32_t max = 0, char shortName = 0)
      : AbstractOptionHandler(pref, description, defaultValue, ARG_REQUIRED, shortName),
        min_(min),
        max_(max) {}
  std::string createPossibleValuesString() const override;

 protected:
  void parseArg(Option& option, const std::string& value) const override;

 private:
  int32_t min_;
  int32_t max_;
};

}  // namespace quarn
