#include "engine/SizeFormatter.h"

#include "foundation/util_number.h"

namespace quarn {

std::string AbbrevSizeFormatter::format(int64_t size) const {
  return util::abbrevSize(size);
}

std::string PlainSizeFormatter::format(int64_t size) const {
  return util::itos(size);
}

}  // namespace quarn
