#pragma once

#include "foundation/RecoverableException.h"

namespace quarn {

// The request may be tried again, up to the download's try limit.
class DlRetryEx : public RecoverableException {
 public:
  DlRetryEx(const char* file, int line, const std::string& msg)
      : RecoverableException(file, line, msg) {}
  DlRetryEx(const char* file, int line, const std::string& msg, const Exception& cause)
      : RecoverableException(file, line, msg, cause) {}
  DlRetryEx(const char* file, int line, const std::string& msg, error_code::Value code)
      : RecoverableException(file, line, msg, code) {}
  std::shared_ptr<Exception> copy() const override { return std::make_shared<DlRetryEx>(*this); }
};

}  // namespace quarn

#define DL_RETRY_EX(...) ::quarn::DlRetryEx(QUARN_SRC_FILE, __LINE__, __VA_ARGS__)
