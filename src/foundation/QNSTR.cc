#include "foundation/QNSTR.h"

namespace quarn {

const std::string QNSTR::NIL;

}  // namespace quarn
