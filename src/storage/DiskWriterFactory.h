#pragma once

#include <memory>
#include <string>

#include "storage/DiskWriter.h"

namespace quarn {

class DiskWriterFactory {
 public:
  virtual ~DiskWriterFactory() = default;
  virtual std::unique_ptr<DiskWriter> newDiskWriter(const std::string& path) = 0;
};

// Makes writers that need no path (in-memory downloads).
template <typename T>
class AnonDiskWriterFactory : public DiskWriterFactory {
 public:
  std::unique_ptr<DiskWriter> newDiskWriter(const std::string& /*path*/) override {
    return std::make_unique<T>();
  }
};

}  // namespace quarn
