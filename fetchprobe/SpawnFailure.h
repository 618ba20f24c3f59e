#pragma once

#include <source_location>
#include <stdexcept>
#include <string>

namespace quarn {

// The child process could not be started, or its output could not be collected.
class SpawnFailure : public std::runtime_error {
 public:
  SpawnFailure(const std::string& what, int errNum, std::source_location where)
      : std::runtime_error(what), errNum_(errNum), where_(where) {}

  int errNum() const { return errNum_; }
  // Where the program asked for the child to be run.
  const std::source_location& where() const { return where_; }

 private:
  int errNum_;
  std::source_location where_;
};

}  // namespace quarn
