#include "storage/Signature.h"

#include "foundation/util_path.h"

namespace quarn {

bool Signature::save(const std::string& path) const {
  return util::saveAs(path, body_, false);
}

}  // namespace quarn
