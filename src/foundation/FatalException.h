#pragma once

#include "foundation/Exception.h"

namespace quarn {

// A condition no command handles; it passes every recovery handler.
class FatalException : public Exception {
 public:
  FatalException(const char* file, int line, const std::string& msg) : Exception(file, line, msg) {}
  FatalException(const char* file, int line, const std::string& msg, const Exception& cause)
      : Exception(file, line, msg, cause) {}
  std::shared_ptr<Exception> copy() const override {
    return std::make_shared<FatalException>(*this);
  }
};

}  // namespace quarn

#define FATAL_EXCEPTION(...) ::quarn::FatalException(QUARN_SRC_FILE, __LINE__, __VA_ARGS__)
