#pragma once

#include <memory>

#include "storage/FileAllocationIterator.h"

namespace quarn {

class DiskWriter;
class MultiDiskAdaptor;

// Allocates the files of a multi-file download one after another, each through
// a writer of its own; progress is that of the file being allocated.
class MultiFileAllocationIterator : public FileAllocationIterator {
 public:
  explicit MultiFileAllocationIterator(MultiDiskAdaptor* diskAdaptor);
  ~MultiFileAllocationIterator() override;

  void allocateChunk() override;
  bool finished() override;
  int64_t getCurrentLength() override;
  int64_t getTotalLength() override;

 private:
  void closeCurrentDiskWriter();
  // Sets up the iterator of the entry at the position when its file needs
  // space; returns whether it did.
  bool startCurrentEntry();

  MultiDiskAdaptor* diskAdaptor_;
  size_t entryIndex_;
  std::unique_ptr<DiskWriter> diskWriter_;
  std::unique_ptr<FileAllocationIterator> fileAllocationIterator_;
};

}  // namespace quarn
