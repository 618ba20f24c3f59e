#pragma once

#include "foundation/RecoverableException.h"

namespace quarn {

// Gives up the current request or source; the download may go on with others.
class DlAbortEx : public RecoverableException {
 public:
  DlAbortEx(const char* file, int line, const std::string& msg)
      : RecoverableException(file, line, msg) {}
  DlAbortEx(const char* file, int line, const std::string& msg, const Exception& cause)
      : RecoverableException(file, line, msg, cause) {}
  DlAbortEx(const char* file, int line, const std::string& msg, error_code::Value code)
      : RecoverableException(file, line, msg, code) {}
  DlAbortEx(const char* file, int line, int errNum, const std::string& msg)
      : RecoverableException(file, line, errNum, msg) {}
  DlAbortEx(const char* file, int line, int errNum, const std::string& msg, error_code::Value code)
      : RecoverableException(file, line, errNum, msg, code) {}
  std::shared_ptr<Exception> copy() const override { return std::make_shared<DlAbortEx>(*this); }
};

}  // namespace quarn

#define DL_ABORT_EX(...) ::quarn::DlAbortEx(QUARN_SRC_FILE, __LINE__, __VA_ARGS__)
