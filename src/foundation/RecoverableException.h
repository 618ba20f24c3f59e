#pragma once

#include "foundation/Exception.h"

namespace quarn {

// Everything a download can survive; the catch-all of the download machinery.
class RecoverableException : public Exception {
 public:
  using Exception::Exception;
  std::shared_ptr<Exception> copy() const override {
    return std::make_shared<RecoverableException>(*this);
  }
};

}  // namespace quarn

#define RECOVERABLE_EXCEPTION(...) \
  ::quarn::RecoverableException(QUARN_SRC_FILE, __LINE__, __VA_ARGS__)
