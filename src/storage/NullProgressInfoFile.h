#pragma once

#include "storage/BtProgressInfoFile.h"

namespace quarn {

// The resume record of a download that keeps none.
class NullProgressInfoFile : public BtProgressInfoFile {
 public:
  std::string getFilename() override { return std::string(); }
  bool exists() override { return false; }
  void save() override {}
  void load() override {}
  void removeFile() override {}
  void updateFilename() override {}
};

}  // namespace quarn
