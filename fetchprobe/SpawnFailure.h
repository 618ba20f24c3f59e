#pragma once

#include <stdexcept>
#include <string>

#include "fetchprobe/SourceLocation.h"

namespace quarn {

// The child process could not be started, or its output could not be collected.
class SpawnFailure : public std::runtime_error {
 public:
  SpawnFailure(const std::string& what, int errNum, SourceLocation where)
      : std::runtime_error(what), errNum_(errNum), where_(where) {}

  int errNum() const { return errNum_; }
  // Where the program asked for the child to be run.
  const SourceLocation& where() const { return where_; }

 private:
  int errNum_;
  SourceLocation where_;
};

}  // namespace quarn
