#include "config/PrioritizePieceOptionHandler.h"

#include <cstddef>
#include <vector>

#include "config/Option.h"
#include "foundation/util_range.h"

namespace quarn {

void PrioritizePieceOptionHandler::parseArg(Option& option, const std::string& value) const {
  // Only the syntax matters here; the pieces are worked out per download.
  std::vector<size_t> pieces;
  util::parsePrioritizePieceRange(pieces, value, {}, 1024, 1048576);
  option.put(pref_, value);
}

}  // namespace quarn
