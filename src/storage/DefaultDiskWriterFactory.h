#pragma once

#include "storage/DiskWriterFactory.h"

namespace quarn {

class DefaultDiskWriterFactory : public DiskWriterFactory {
 public:
  std::unique_ptr<DiskWriter> newDiskWriter(const std::string& path) override;
};

}  // namespace quarn
