#include "foundation/LogFactory.h"

#include "foundation/RecoverableException.h"

namespace quarn {

std::string LogFactory::filename_ = "/dev/null";
Logger::LEVEL LogFactory::logLevel_ = Logger::Q_DEBUG;
Logger::LEVEL LogFactory::consoleLogLevel_ = Logger::Q_NOTICE;
bool LogFactory::consoleOutput_ = true;
bool LogFactory::colorOutput_ = true;
std::shared_ptr<Logger> LogFactory::logger_;

const std::shared_ptr<Logger>& LogFactory::getInstance() {
  if (!logger_) {
    auto logger = std::make_shared<Logger>();
    openLogger(logger);
    logger_ = std::move(logger);
  }
  return logger_;
}

void LogFactory::openLogger(const std::shared_ptr<Logger>& logger) {
  if (filename_ != "/dev/null") {
    logger->openFile(filename_);
  }
  logger->setLogLevel(logLevel_);
  logger->setConsoleLogLevel(consoleLogLevel_);
  logger->setConsoleOutput(consoleOutput_);
  logger->setColorOutput(colorOutput_);
}

void LogFactory::reconfigure() {
  if (!logger_) {
    return;
  }
  logger_->closeFile();
  try {
    openLogger(logger_);
  } catch (const RecoverableException&) {
    logger_->closeFile();
    throw;
  }
}

void LogFactory::setLogFile(const std::string& name) {
  if (name.empty()) {
    filename_ = "/dev/null";
  } else if (name == "-") {
    filename_ = "/dev/stdout";
  } else {
    filename_ = name;
  }
}

Logger::LEVEL LogFactory::toLevel(const std::string& name) {
  if (name == "debug") {
    return Logger::Q_DEBUG;
  }
  if (name == "info") {
    return Logger::Q_INFO;
  }
  if (name == "notice") {
    return Logger::Q_NOTICE;
  }
  if (name == "warn") {
    return Logger::Q_WARN;
  }
  if (name == "error") {
    return Logger::Q_ERROR;
  }
  return Logger::Q_NOTICE;
}

void LogFactory::setLogLevel(Logger::LEVEL level) {
  logLevel_ = level;
}

void LogFactory::setLogLevel(const std::string& level) {
  logLevel_ = toLevel(level);
}

void LogFactory::setConsoleLogLevel(Logger::LEVEL level) {
  consoleLogLevel_ = level;
}

void LogFactory::setConsoleLogLevel(const std::string& level) {
  consoleLogLevel_ = toLevel(level);
}

void LogFactory::release() {
  logger_.reset();
}

}  // namespace quarn
