#pragma once

#include "config/AbstractOptionHandler.h"

namespace quarn {

// A proxy URI, normalised to the http scheme; the empty text switches the
// proxy off.
class HttpProxyOptionHandler : public AbstractOptionHandler {
 public:
  HttpProxyOptionHandler(const Pref* pref, const char* description, const std::string& defaultValue,
                         char shortName = 0)
      : AbstractOptionHandler(pref, description, defaultValue, ARG_REQUIRED, shortName) {}
  std::string createPossibleValuesString() const override {
    return "[http://][USER:PASSWORD@]HOST[:PORT]";
  }

 protected:
  void parseArg(Option& option, const std::string& value) const override;
};

}  // namespace quarn
