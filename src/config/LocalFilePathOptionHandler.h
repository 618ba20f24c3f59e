#pragma once

#include "config/AbstractOptionHandler.h"

namespace quarn {

// A path on the local file system; "${HOME}" expands to the home directory,
// and "-" may stand for standard input.
class LocalFilePathOptionHandler : public AbstractOptionHandler {
 public:
  LocalFilePathOptionHandler(const Pref* pref, const char* description = NO_DESCRIPTION,
                             const std::string& defaultValue = NO_DEFAULT_VALUE,
                             bool acceptStdin = false, char shortName = 0, bool mustExist = false,
                             const std::string& possibleValuesString = "", bool namesFile = false)
      : AbstractOptionHandler(pref, description, defaultValue, ARG_REQUIRED, shortName),
        possibleValuesString_(possibleValuesString),
        acceptStdin_(acceptStdin),
        mustExist_(mustExist),
        namesFile_(namesFile) {}
  std::string createPossibleValuesString() const override;

 protected:
  void parseArg(Option& option, const std::string& value) const override;

 private:
  std::string possibleValuesString_;
  bool acceptStdin_;
  bool mustExist_;
  bool namesFile_;
};

}  // namespace quarn
