#pragma once

#include "storage/AbstractDiskWriter.h"

namespace quarn {

class DefaultDiskWriter : public AbstractDiskWriter {
 public:
  explicit DefaultDiskWriter(const std::string& filename) : AbstractDiskWriter(filename) {}
  void initAndOpenFile(int64_t totalLength = 0) override;
};

}  // namespace quarn
