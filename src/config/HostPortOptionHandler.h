#pragma once

#include "config/AbstractOptionHandler.h"

namespace quarn {

// "HOST:PORT": stored as given, and split into a host option and a port option.
class HostPortOptionHandler : public AbstractOptionHandler {
 public:
  HostPortOptionHandler(const Pref* pref, const char* description, const std::string& defaultValue,
                        const Pref* hostOptionName, const Pref* portOptionName, char shortName = 0)
      : AbstractOptionHandler(pref, description, defaultValue, ARG_REQUIRED, shortName),
        hostOptionName_(hostOptionName),
        portOptionName_(portOptionName) {}
  std::string createPossibleValuesString() const override { return "HOST:PORT"; }

 protected:
  void parseArg(Option& option, const std::string& value) const override;

 private:
  const Pref* hostOptionName_;
  const Pref* portOptionName_;
};

}  // namespace quarn
