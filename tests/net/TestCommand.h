#pragma once

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace quarn {

// Runs a shell command for test set-up; its output goes to a log beside it.
inline void runOrThrow(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    throw std::runtime_error("set-up command failed: " + command);
  }
}

}  // namespace quarn
