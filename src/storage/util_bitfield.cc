#include "storage/util_bitfield.h"

#include "storage/BitfieldMan.h"

namespace quarn {
namespace util {

void convertBitfield(BitfieldMan* dest, const BitfieldMan* src) {
  const int64_t blockLength = dest->getBlockLength();
  for (size_t index = 0; index < dest->countBlock(); ++index) {
    if (src->isBitSetOffsetRange(index * blockLength, blockLength)) {
      dest->setBit(index);
    }
  }
}

}  // namespace util
}  // namespace quarn
