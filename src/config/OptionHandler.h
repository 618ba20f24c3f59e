#pragma once

#include <string>

#include "config/Pref.h"

namespace quarn {

class Option;

// One option of the catalogue: what it is called, how it is shown in help and
// how a value text becomes an entry of an Option.
class OptionHandler {
 public:
  enum ARG_TYPE : int { ARG_REQUIRED = 0, ARG_OPTIONAL = 1, ARG_NONE = 2 };

  virtual ~OptionHandler() = default;

  // Validates `value` and stores it; throws OptionHandlerException when it is
  // rejected.
  virtual void parse(Option& option, const std::string& value) const = 0;
  virtual std::string createPossibleValuesString() const = 0;

  virtual bool hasTag(unsigned int tag) const = 0;
  virtual void addTag(unsigned int tag) = 0;
  virtual std::string toTagString() const = 0;

  virtual const char* getName() const = 0;
  virtual const char* getDescription() const = 0;
  virtual const std::string& getDefaultValue() const = 0;

  virtual bool isHidden() const = 0;
  virtual void hide() = 0;

  virtual const Pref* getPref() const = 0;
  virtual ARG_TYPE getArgType() const = 0;
  virtual char getShortName() const = 0;

  virtual bool getEraseAfterParse() const = 0;
  virtual void setEraseAfterParse(bool f) = 0;
  virtual bool getInitialOption() const = 0;
  virtual void setInitialOption(bool f) = 0;
  virtual bool getChangeOption() const = 0;
  virtual void setChangeOption(bool f) = 0;
  virtual bool getChangeOptionForReserved() const = 0;
  virtual void setChangeOptionForReserved(bool f) = 0;
  virtual bool getChangeGlobalOption() const = 0;
  virtual void setChangeGlobalOption(bool f) = 0;
  virtual bool getCumulative() const = 0;
  virtual void setCumulative(bool f) = 0;
};

// Texts shared by the catalogue and the handler kinds.
extern const char NO_DESCRIPTION[];
extern const std::string NO_DEFAULT_VALUE;
extern const std::string PATH_TO_FILE;
extern const std::string PATH_TO_FILE_STDIN;
extern const std::string PATH_TO_FILE_STDOUT;
extern const std::string PATH_TO_DIR;
extern const std::string PATH_TO_COMMAND;

}  // namespace quarn
