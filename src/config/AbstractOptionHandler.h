#pragma once

#include <cstdint>
#include <string>

#include "config/OptionHandler.h"

namespace quarn {

// The state and behaviour every handler kind shares; a kind supplies only
// parseArg and createPossibleValuesString.
class AbstractOptionHandler : public OptionHandler {
 public:
  AbstractOptionHandler(const Pref* pref, const char* description = NO_DESCRIPTION,
                        const std::string& defaultValue = NO_DEFAULT_VALUE,
                        ARG_TYPE argType = ARG_REQUIRED, char shortName = 0);

  // Turns any failure of parseArg into an OptionHandlerException naming this
  // option, with the failure as its cause.
  void parse(Option& option, const std::string& value) const override;

  bool hasTag(unsigned int tag) const override;
  void addTag(unsigned int tag) override;
  std::string toTagString() const override;

  const char* getName() const override { return pref_->k; }
  const char* getDescription() const override { return description_; }
  const std::string& getDefaultValue() const override { return defaultValue_; }

  bool isHidden() const override { return flag(FLAG_HIDDEN); }
  void hide() override { updateFlag(FLAG_HIDDEN, true); }

  const Pref* getPref() const override { return pref_; }
  ARG_TYPE getArgType() const override { return argType_; }
  char getShortName() const override { return shortName_; }

  bool getEraseAfterParse() const override { return flag(FLAG_ERASE_AFTER_PARSE); }
  void setEraseAfterParse(bool f) override { updateFlag(FLAG_ERASE_AFTER_PARSE, f); }
  bool getInitialOption() const override { return flag(FLAG_INITIAL_OPTION); }
  void setInitialOption(bool f) override { updateFlag(FLAG_INITIAL_OPTION, f); }
  bool getChangeOption() const override { return flag(FLAG_CHANGE_OPTION); }
  void setChangeOption(bool f) override { updateFlag(FLAG_CHANGE_OPTION, f); }
  bool getChangeOptionForReserved() const override { return flag(FLAG_CHANGE_OPTION_FOR_RESERVED); }
  void setChangeOptionForReserved(bool f) override {
    updateFlag(FLAG_CHANGE_OPTION_FOR_RESERVED, f);
  }
  bool getChangeGlobalOption() const override { return flag(FLAG_CHANGE_GLOBAL_OPTION); }
  void setChangeGlobalOption(bool f) override { updateFlag(FLAG_CHANGE_GLOBAL_OPTION, f); }
  bool getCumulative() const override { return flag(FLAG_CUMULATIVE); }
  void setCumulative(bool f) override { updateFlag(FLAG_CUMULATIVE, f); }

 protected:
  virtual void parseArg(Option& option, const std::string& value) const = 0;

  const Pref* pref_;
  const char* description_;
  std::string defaultValue_;
  ARG_TYPE argType_;
  char shortName_;

 private:
  enum Flag : uint8_t {
    FLAG_HIDDEN = 0x01,
    FLAG_ERASE_AFTER_PARSE = 0x02,
    FLAG_INITIAL_OPTION = 0x04,
    FLAG_CHANGE_OPTION = 0x08,
    FLAG_CHANGE_OPTION_FOR_RESERVED = 0x10,
    FLAG_CHANGE_GLOBAL_OPTION = 0x20,
    FLAG_CUMULATIVE = 0x40,
  };
  bool flag(Flag f) const { return flags_ & f; }
  void updateFlag(Flag f, bool set);

  uint32_t tags_;
  uint8_t flags_;
};

}  // namespace quarn
