#include "foundation/Logger.h"

#include <sys/time.h>

#include <cerrno>
#include <ctime>

#include "foundation/BufferedFile.h"
#include "foundation/DlAbortEx.h"
#include "foundation/Exception.h"
#include "foundation/console.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

const char* levelName(Logger::LEVEL level) {
  switch (level) {
    case Logger::Q_DEBUG:
      return "DEBUG";
    case Logger::Q_INFO:
      return "INFO";
    case Logger::Q_NOTICE:
      return "NOTICE";
    case Logger::Q_WARN:
      return "WARN";
    case Logger::Q_ERROR:
      return "ERROR";
  }
  return "";
}

const char* levelColor(Logger::LEVEL level) {
  switch (level) {
    case Logger::Q_DEBUG:
      return "\033[1;37m";
    case Logger::Q_INFO:
      return "\033[1;36m";
    case Logger::Q_NOTICE:
      return "\033[1;32m";
    case Logger::Q_WARN:
      return "\033[1;33m";
    case Logger::Q_ERROR:
      return "\033[1;31m";
  }
  return "";
}

struct timeval now() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  return tv;
}

std::string localTime(time_t sec, const char* format) {
  struct tm tm;
  char buf[32];
  if (!localtime_r(&sec, &tm) || strftime(buf, sizeof(buf), format, &tm) == 0) {
    return std::string();
  }
  return buf;
}

}  // namespace

Logger::Logger()
    : logLevel_(Q_DEBUG),
      consoleLogLevel_(Q_NOTICE),
      consoleOutput_(true),
      colorOutput_(global::cout()->supportsColor()) {}

Logger::~Logger() = default;

void Logger::openFile(const std::string& filename) {
  closeFile();
  if (filename == "/dev/stdout") {
    fpp_ = global::cout();
    return;
  }
  errno = 0;
  auto file = std::make_shared<BufferedFile>(filename.c_str(), BufferedFile::APPEND);
  if (!*file) {
    int errNum = errno;
    throw DL_ABORT_EX(fmt("Failed to open the file %s, cause: %s", filename.c_str(),
                          errNum != 0 ? util::safeStrerror(errNum).c_str() : "n/a"));
  }
  fpp_ = std::move(file);
}

void Logger::closeFile() {
  fpp_.reset();
}

bool Logger::fileLogEnabled(LEVEL level) const {
  return level >= logLevel_ && fpp_;
}

bool Logger::consoleLogEnabled(LEVEL level) const {
  return consoleOutput_ && level >= consoleLogLevel_;
}

bool Logger::levelEnabled(LEVEL level) const {
  return fileLogEnabled(level) || consoleLogEnabled(level);
}

void Logger::log(LEVEL level, const char* sourceFile, int line, const char* msg) {
  writeLog(level, sourceFile, line, msg, std::string());
}

void Logger::log(LEVEL level, const char* sourceFile, int line, const std::string& msg) {
  writeLog(level, sourceFile, line, msg.c_str(), std::string());
}

void Logger::log(LEVEL level, const char* sourceFile, int line, const char* msg,
                 const Exception& ex) {
  writeLog(level, sourceFile, line, msg, ex.stackTrace());
}

void Logger::log(LEVEL level, const char* sourceFile, int line, const std::string& msg,
                 const Exception& ex) {
  writeLog(level, sourceFile, line, msg.c_str(), ex.stackTrace());
}

void Logger::writeLog(LEVEL level, const char* sourceFile, int line, const char* msg,
                      const std::string& trace) {
  if (fileLogEnabled(level)) {
    writeFileRecord(level, sourceFile, line, msg, trace);
  }
  if (consoleLogEnabled(level)) {
    writeConsoleRecord(level, msg, trace);
  }
}

void Logger::writeFileRecord(LEVEL level, const char* sourceFile, int line, const char* msg,
                             const std::string& trace) {
  struct timeval tv = now();
  std::string date = localTime(tv.tv_sec, "%Y-%m-%d %H:%M:%S");
  fpp_->printf("%s.%06ld [%s] [%s:%d] ", date.c_str(), static_cast<long>(tv.tv_usec),
               levelName(level), sourceFile, line);
  fpp_->printf("%s\n", msg);
  fpp_->write(trace.c_str());
  fpp_->flush();
}

void Logger::writeConsoleRecord(LEVEL level, const char* msg, const std::string& trace) {
  const std::shared_ptr<OutputFile>& out = global::cout();
  out->write("\n");
  std::string date = localTime(now().tv_sec, "%m/%d %H:%M:%S");
  // Escape sequences only reach a terminal that shows them, never a pipe or file.
  if (colorOutput_ && out->supportsColor()) {
    out->printf("%s [%s%s\33[0m] ", date.c_str(), levelColor(level), levelName(level));
  } else {
    out->printf("%s [%s] ", date.c_str(), levelName(level));
  }
  out->printf("%s\n", msg);
  out->write(trace.c_str());
  out->flush();
}

}  // namespace quarn
