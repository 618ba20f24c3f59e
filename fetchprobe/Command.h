#pragma once

#include <string>
#include <vector>

namespace quarn {

// A program path and its arguments, run without a shell.
class Command {
 public:
  explicit Command(std::string program) : program_(std::move(program)) {}

  Command& arg(std::string argument);

  const std::string& program() const { return program_; }
  const std::vector<std::string>& arguments() const { return arguments_; }

  // The program and every argument quoted, separated by single spaces.
  std::string debugForm() const;

 private:
  std::string program_;
  std::vector<std::string> arguments_;
};

}  // namespace quarn
