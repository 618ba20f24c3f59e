#pragma once

#include <string>

namespace quarn {

// The resume record of one download, kept in a file beside its output.
class BtProgressInfoFile {
 public:
  virtual ~BtProgressInfoFile() = default;

  virtual std::string getFilename() = 0;
  virtual bool exists() = 0;
  virtual void save() = 0;
  virtual void load() = 0;
  virtual void removeFile() = 0;
  // Follows the download's output path after it got a new name.
  virtual void updateFilename() = 0;
};

}  // namespace quarn
