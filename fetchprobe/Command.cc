#include "fetchprobe/Command.h"

#include "fetchprobe/debug_form.h"

namespace quarn {

Command& Command::arg(std::string argument) {
  arguments_.push_back(std::move(argument));
  return *this;
}

std::string Command::debugForm() const {
  std::string form = debug_form::quoted(program_);
  for (const auto& argument : arguments_) {
    form += ' ';
    form += debug_form::quoted(argument);
  }
  return form;
}

}  // namespace quarn
