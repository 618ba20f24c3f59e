#include "storage/DefaultDiskWriter.h"

namespace quarn {

void DefaultDiskWriter::initAndOpenFile(int64_t /*totalLength*/) {
  createFile();
}

}  // namespace quarn
