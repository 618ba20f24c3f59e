#pragma once

#include "config/NumberOptionHandler.h"

namespace quarn {

// A byte count with an optional K or M suffix, stored as plain bytes.
class UnitNumberOptionHandler : public NumberOptionHandler {
 public:
  using NumberOptionHandler::NumberOptionHandler;

 protected:
  void parseArg(Option& option, const std::string& value) const override;
};

}  // namespace quarn
