#pragma once

#include "config/AbstractOptionHandler.h"

namespace quarn {

// Collects "INDEX=PATH" pairs, one per line.
class IndexOutOptionHandler : public AbstractOptionHandler {
 public:
  IndexOutOptionHandler(const Pref* pref, const char* description = NO_DESCRIPTION,
                        char shortName = 0)
      : AbstractOptionHandler(pref, description, NO_DEFAULT_VALUE, ARG_REQUIRED, shortName) {}
  std::string createPossibleValuesString() const override { return "INDEX=PATH"; }

 protected:
  void parseArg(Option& option, const std::string& value) const override;
};

}  // namespace quarn
