#pragma once

#include <string>

namespace quarn {

// How a child process ended, as reported by waitpid().
class ExitStatus {
 public:
  explicit ExitStatus(int waitStatus) : waitStatus_(waitStatus) {}

  // "exit status: N", or "signal: N (NAME)" with " (core dumped)" when a core was written.
  std::string toString() const;

 private:
  int waitStatus_;
};

}  // namespace quarn
