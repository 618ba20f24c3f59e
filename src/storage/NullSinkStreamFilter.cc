#include "storage/NullSinkStreamFilter.h"

namespace quarn {

const std::string NullSinkStreamFilter::NAME("NullSinkStreamFilter");

}  // namespace quarn
