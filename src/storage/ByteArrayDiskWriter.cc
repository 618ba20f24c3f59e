#include "storage/ByteArrayDiskWriter.h"

#include <algorithm>
#include <cstring>

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"

namespace quarn {

void ByteArrayDiskWriter::writeData(const uint8_t* data, size_t len, int64_t offset) {
  if (offset < 0 || static_cast<uint64_t>(offset) + len > maxLength_) {
    throw DL_ABORT_EX(fmt("Maximum length(%lu) exceeded.", static_cast<unsigned long>(maxLength_)));
  }
  size_t end = offset + len;
  if (buf_.size() < end) {
    buf_.resize(end, '\0');
  }
  if (len) {
    std::memcpy(buf_.data() + offset, data, len);
  }
}

ssize_t ByteArrayDiskWriter::readData(uint8_t* data, size_t len, int64_t offset) {
  if (offset < 0 || static_cast<uint64_t>(offset) >= buf_.size()) {
    return 0;
  }
  size_t n = std::min(len, buf_.size() - offset);
  std::memcpy(data, buf_.data() + offset, n);
  return n;
}

}  // namespace quarn
