#pragma once

#include <exception>
#include <memory>
#include <string>

#include "foundation/error_code.h"

namespace quarn {

// Root of every failure raised by the program. Carries where it was raised, the
// system error number behind it, the result code it gives the download, and the
// failure that caused it (held as a copy that keeps its dynamic class).
class Exception : public std::exception {
 public:
  Exception(const char* file, int line, const std::string& msg);
  Exception(const char* file, int line, const std::string& msg, const Exception& cause);
  Exception(const char* file, int line, const std::string& msg, error_code::Value errorCode);
  Exception(const char* file, int line, int errNum, const std::string& msg);
  Exception(const char* file, int line, int errNum, const std::string& msg,
            error_code::Value errorCode);
  Exception(const char* file, int line, const std::string& msg, error_code::Value errorCode,
            const Exception& cause);
  ~Exception() noexcept override = default;

  const char* what() const noexcept override { return msg_.c_str(); }
  virtual std::shared_ptr<Exception> copy() const = 0;

  // One line per exception of the cause chain, this one first.
  std::string stackTrace() const;

  const char* getFile() const { return file_; }
  int getLine() const { return line_; }
  int getErrNum() const { return errNum_; }
  error_code::Value getErrorCode() const { return errorCode_; }
  const std::shared_ptr<Exception>& getCause() const { return cause_; }

 private:
  const char* file_;
  int line_;
  int errNum_;
  std::string msg_;
  error_code::Value errorCode_;
  std::shared_ptr<Exception> cause_;
};

}  // namespace quarn

// The file name alone, without the build directory, names where a failure arose.
#define QUARN_SRC_FILE __FILE_NAME__
