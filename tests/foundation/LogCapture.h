#pragma once

#include <fstream>
#include <iterator>
#include <string>

#include "foundation/LogFactory.h"

namespace quarn::test {

// Sends every log record (debug and up) to a file while it lives; the console
// stays quiet.
class LogCapture {
 public:
  explicit LogCapture(std::string path) : path_(std::move(path)) {
    LogFactory::release();
    LogFactory::setLogFile(path_);
    LogFactory::setLogLevel(Logger::Q_DEBUG);
    LogFactory::consoleOutput_ = false;
  }
  ~LogCapture() { stop(); }

  // Everything logged so far; logging into the file ends.
  std::string text() {
    stop();
    std::ifstream in(path_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

 private:
  void stop() {
    if (active_) {
      active_ = false;
      LogFactory::release();
      LogFactory::setLogFile("");
      LogFactory::consoleOutput_ = true;
    }
  }

  std::string path_;
  bool active_ = true;
};

}  // namespace quarn::test
