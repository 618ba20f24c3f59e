#pragma once

#include "foundation/RecoverableException.h"

namespace quarn {

// The whole download must stop.
class DownloadFailureException : public RecoverableException {
 public:
  DownloadFailureException(const char* file, int line, const std::string& msg)
      : RecoverableException(file, line, msg) {}
  DownloadFailureException(const char* file, int line, const std::string& msg,
                           const Exception& cause)
      : RecoverableException(file, line, msg, cause) {}
  DownloadFailureException(const char* file, int line, const std::string& msg,
                           error_code::Value code)
      : RecoverableException(file, line, msg, code) {}
  DownloadFailureException(const char* file, int line, int errNum, const std::string& msg,
                           error_code::Value code)
      : RecoverableException(file, line, errNum, msg, code) {}
  std::shared_ptr<Exception> copy() const override {
    return std::make_shared<DownloadFailureException>(*this);
  }
};

}  // namespace quarn

#define DOWNLOAD_FAILURE_EXCEPTION(...) \
  ::quarn::DownloadFailureException(QUARN_SRC_FILE, __LINE__, __VA_ARGS__)
