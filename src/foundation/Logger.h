#pragma once

#include <memory>
#include <string>

namespace quarn {

class Exception;
class OutputFile;

// Writes diagnostic records to the log file and to the console, each at or
// above its own level.
class Logger {
 public:
  enum LEVEL {
    Q_DEBUG = 1 << 0,
    Q_INFO = 1 << 1,
    Q_NOTICE = 1 << 2,
    Q_WARN = 1 << 3,
    Q_ERROR = 1 << 4
  };

  Logger();
  ~Logger();

  // "/dev/stdout" shares the console output sink; anything else is appended to.
  void openFile(const std::string& filename);
  void closeFile();

  void setLogLevel(LEVEL level) { logLevel_ = level; }
  void setConsoleLogLevel(LEVEL level) { consoleLogLevel_ = level; }
  void setConsoleOutput(bool enabled) { consoleOutput_ = enabled; }
  void setColorOutput(bool enabled) { colorOutput_ = enabled; }

  bool fileLogEnabled(LEVEL level) const;
  bool consoleLogEnabled(LEVEL level) const;
  bool levelEnabled(LEVEL level) const;

  void log(LEVEL level, const char* sourceFile, int line, const char* msg);
  void log(LEVEL level, const char* sourceFile, int line, const std::string& msg);
  void log(LEVEL level, const char* sourceFile, int line, const char* msg, const Exception& ex);
  void log(LEVEL level, const char* sourceFile, int line, const std::string& msg,
           const Exception& ex);

 private:
  void writeLog(LEVEL level, const char* sourceFile, int line, const char* msg,
                const std::string& trace);
  void writeFileRecord(LEVEL level, const char* sourceFile, int line, const char* msg,
                       const std::string& trace);
  void writeConsoleRecord(LEVEL level, const char* msg, const std::string& trace);

  LEVEL logLevel_;
  std::shared_ptr<OutputFile> fpp_;
  LEVEL consoleLogLevel_;
  bool consoleOutput_;
  bool colorOutput_;
};

}  // namespace quarn

#include "foundation/LogMacros.h"
