#pragma once

#include <vector>

#include "config/OptionHandler.h"

namespace quarn {

class OptionHandlerFactory {
 public:
  // One new handler per catalogue entry, in catalogue order; the caller owns
  // them.
  static std::vector<OptionHandler*> createOptionHandlers();
};

}  // namespace quarn
