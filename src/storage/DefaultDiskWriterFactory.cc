#include "storage/DefaultDiskWriterFactory.h"

#include "storage/DefaultDiskWriter.h"

namespace quarn {

std::unique_ptr<DiskWriter> DefaultDiskWriterFactory::newDiskWriter(const std::string& path) {
  return std::make_unique<DefaultDiskWriter>(path);
}

}  // namespace quarn
