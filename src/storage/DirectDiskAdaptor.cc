#include "storage/DirectDiskAdaptor.h"

#include "foundation/File.h"
#include "storage/FileEntry.h"

namespace quarn {

const std::string& DirectDiskAdaptor::getFilePath() {
  return getFileEntries().front()->getPath();
}

size_t DirectDiskAdaptor::utime(const Time& actime, const Time& modtime) {
  File f(getFilePath());
  return f.isFile() && f.utime(actime, modtime) ? 1 : 0;
}

}  // namespace quarn
