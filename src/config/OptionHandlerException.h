#pragma once

#include "config/Pref.h"
#include "foundation/RecoverableException.h"

namespace quarn {

// A value given to an option was rejected; the handler's own complaint is kept
// as the cause.
class OptionHandlerException : public RecoverableException {
 public:
  OptionHandlerException(const char* file, int line, const Pref* pref);
  OptionHandlerException(const char* file, int line, const Pref* pref, const Exception& cause);
  std::shared_ptr<Exception> copy() const override {
    return std::make_shared<OptionHandlerException>(*this);
  }
  const Pref* getPref() const { return pref_; }

 private:
  const Pref* pref_;
};

}  // namespace quarn

#define OPTION_HANDLER_EXCEPTION(...) \
  ::quarn::OptionHandlerException(QUARN_SRC_FILE, __LINE__, __VA_ARGS__)
