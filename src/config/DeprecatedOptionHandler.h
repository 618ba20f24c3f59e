#pragma once

#include <memory>

#include "config/OptionHandler.h"

namespace quarn {

// Wraps the handler of an option that is on its way out: warns when the option
// is used, and either hands the value on or ignores it. Everything else is the
// wrapped handler's.
class DeprecatedOptionHandler : public OptionHandler {
 public:
  DeprecatedOptionHandler(OptionHandler* depOptHandler,
                          const OptionHandler* repOptHandler = nullptr, bool stillWork = false,
                          std::string additionalMessage = "");
  ~DeprecatedOptionHandler() override;

  void parse(Option& option, const std::string& value) const override;
  std::string createPossibleValuesString() const override {
    return depOptHandler_->createPossibleValuesString();
  }
  bool hasTag(unsigned int tag) const override { return depOptHandler_->hasTag(tag); }
  void addTag(unsigned int tag) override { depOptHandler_->addTag(tag); }
  std::string toTagString() const override { return depOptHandler_->toTagString(); }
  const char* getName() const override { return depOptHandler_->getName(); }
  const char* getDescription() const override { return depOptHandler_->getDescription(); }
  const std::string& getDefaultValue() const override { return depOptHandler_->getDefaultValue(); }
  bool isHidden() const override { return depOptHandler_->isHidden(); }
  void hide() override { depOptHandler_->hide(); }
  const Pref* getPref() const override { return depOptHandler_->getPref(); }
  ARG_TYPE getArgType() const override { return depOptHandler_->getArgType(); }
  char getShortName() const override { return depOptHandler_->getShortName(); }
  bool getEraseAfterParse() const override { return depOptHandler_->getEraseAfterParse(); }
  void setEraseAfterParse(bool f) override { depOptHandler_->setEraseAfterParse(f); }
  bool getInitialOption() const override { return depOptHandler_->getInitialOption(); }
  void setInitialOption(bool f) override { depOptHandler_->setInitialOption(f); }
  bool getChangeOption() const override { return depOptHandler_->getChangeOption(); }
  void setChangeOption(bool f) override { depOptHandler_->setChangeOption(f); }
  bool getChangeOptionForReserved() const override {
    return depOptHandler_->getChangeOptionForReserved();
  }
  void setChangeOptionForReserved(bool f) override {
    depOptHandler_->setChangeOptionForReserved(f);
  }
  bool getChangeGlobalOption() const override { return depOptHandler_->getChangeGlobalOption(); }
  void setChangeGlobalOption(bool f) override { depOptHandler_->setChangeGlobalOption(f); }
  bool getCumulative() const override { return depOptHandler_->getCumulative(); }
  void setCumulative(bool f) override { depOptHandler_->setCumulative(f); }

 private:
  std::unique_ptr<OptionHandler> depOptHandler_;
  const OptionHandler* repOptHandler_;
  bool stillWork_;
  std::string additionalMessage_;
};

}  // namespace quarn
