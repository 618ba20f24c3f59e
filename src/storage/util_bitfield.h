#pragma once

namespace quarn {

class BitfieldMan;

namespace util {

// Sets each block of dest whose bytes src has complete; clears nothing.
void convertBitfield(BitfieldMan* dest, const BitfieldMan* src);

}  // namespace util
}  // namespace quarn
