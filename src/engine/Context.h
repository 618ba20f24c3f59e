#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quarn {

class Option;

// Turns the command line (or, when embedded, a list of option pairs) into the
// global options of the run and sets up logging.
class Context {
 public:
  // `standalone` is true when called from the program's own main: a failure of
  // option processing then ends the process with its status.
  Context(bool standalone, int argc, char** argv,
          const std::vector<std::pair<std::string, std::string>>& options);
  ~Context();

  const std::shared_ptr<Option>& getOption() const { return option_; }
  const std::vector<std::string>& getArgs() const { return args_; }

 private:
  std::shared_ptr<Option> option_;
  std::vector<std::string> args_;
};

}  // namespace quarn
