#pragma once

#include <memory>
#include <string>

#include "foundation/Logger.h"

namespace quarn {

// Holds the process-wide logger and the settings it is made with.
class LogFactory {
 public:
  // The shared logger, made on first use with the current settings.
  static const std::shared_ptr<Logger>& getInstance();
  // Reopens the log file and applies the current settings to an existing logger.
  static void reconfigure();

  // "" means no file, "-" means standard output.
  static void setLogFile(const std::string& name);
  static void setLogLevel(Logger::LEVEL level);
  static void setLogLevel(const std::string& level);
  static void setConsoleLogLevel(Logger::LEVEL level);
  static void setConsoleLogLevel(const std::string& level);
  static void setColorOutput(bool enabled) { colorOutput_ = enabled; }
  static void adjustDependentLevels() {}
  static void release();

  // Cleared by the quiet option.
  static bool consoleOutput_;

 private:
  static void openLogger(const std::shared_ptr<Logger>& logger);
  static Logger::LEVEL toLevel(const std::string& name);

  static std::string filename_;
  static Logger::LEVEL logLevel_;
  static Logger::LEVEL consoleLogLevel_;
  static bool colorOutput_;
  static std::shared_ptr<Logger> logger_;
};

}  // namespace quarn
