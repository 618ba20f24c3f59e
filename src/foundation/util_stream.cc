#include "foundation/util_stream.h"

#include "foundation/BinaryStream.h"

namespace quarn {
namespace util {

std::string toString(const std::shared_ptr<BinaryStream>& binaryStream) {
  std::string res;
  unsigned char buf[2048];
  int64_t offset = 0;
  while (true) {
    ssize_t r = binaryStream->readData(buf, sizeof(buf), offset);
    if (r <= 0) {
      break;
    }
    res.append(reinterpret_cast<const char*>(buf), r);
    offset += r;
  }
  return res;
}

}  // namespace util
}  // namespace quarn
