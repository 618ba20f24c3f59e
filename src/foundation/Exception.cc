#include "foundation/Exception.h"

namespace quarn {

Exception::Exception(const char* file, int line, const std::string& msg)
    : file_(file), line_(line), errNum_(0), msg_(msg), errorCode_(error_code::UNKNOWN_ERROR) {}

Exception::Exception(const char* file, int line, const std::string& msg, const Exception& cause)
    : file_(file),
      line_(line),
      errNum_(0),
      msg_(msg),
      errorCode_(cause.errorCode_),
      cause_(cause.copy()) {}

Exception::Exception(const char* file, int line, const std::string& msg,
                     error_code::Value errorCode)
    : file_(file), line_(line), errNum_(0), msg_(msg), errorCode_(errorCode) {}

Exception::Exception(const char* file, int line, int errNum, const std::string& msg)
    : file_(file), line_(line), errNum_(errNum), msg_(msg), errorCode_(error_code::UNKNOWN_ERROR) {}

Exception::Exception(const char* file, int line, int errNum, const std::string& msg,
                     error_code::Value errorCode)
    : file_(file), line_(line), errNum_(errNum), msg_(msg), errorCode_(errorCode) {}

Exception::Exception(const char* file, int line, const std::string& msg,
                     error_code::Value errorCode, const Exception& cause)
    : file_(file),
      line_(line),
      errNum_(0),
      msg_(msg),
      errorCode_(errorCode),
      cause_(cause.copy()) {}

std::string Exception::stackTrace() const {
  std::string trace;
  const Exception* e = this;
  for (bool first = true; e; e = e->cause_.get(), first = false) {
    trace += first ? "Exception: " : "  -> ";
    trace += "[";
    trace += e->file_;
    trace += ":";
    trace += std::to_string(e->line_);
    trace += "] ";
    if (e->errNum_ != 0) {
      trace += "errNum=";
      trace += std::to_string(e->errNum_);
      trace += " ";
    }
    trace += "errorCode=";
    trace += std::to_string(e->errorCode_);
    trace += " ";
    trace += e->what();
    trace += "\n";
  }
  return trace;
}

}  // namespace quarn
