#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace quarn {

class DiskAdaptor;

// The process-wide budget of files open at once across all downloads.
class OpenedFileCounter {
 public:
  // Lists the disk adaptors of the active downloads, in the order of the
  // download manager's active list (empty entries for downloads without one).
  using ActiveAdaptors = std::function<std::vector<std::shared_ptr<DiskAdaptor>>()>;

  OpenedFileCounter(ActiveAdaptors activeAdaptors, size_t maxOpenFiles);

  // Called before numNewFiles files are opened; makes downloads close files,
  // starting at a random one, when the budget would be passed.
  void ensureMaxOpenFileLimit(size_t numNewFiles);
  void reduceNumOfOpenedFile(size_t numCloseFiles);
  void deactivate();

  size_t getNumOpenFiles() const { return numOpenFiles_; }
  size_t getMaxOpenFiles() const { return maxOpenFiles_; }
  void setMaxOpenFiles(size_t maxOpenFiles) { maxOpenFiles_ = maxOpenFiles; }

 private:
  ActiveAdaptors activeAdaptors_;
  size_t maxOpenFiles_;
  size_t numOpenFiles_;
};

}  // namespace quarn
