#include "storage/OpenedFileCounter.h"

#include <cassert>

#include "foundation/SimpleRandomizer.h"
#include "storage/DiskAdaptor.h"

namespace quarn {

OpenedFileCounter::OpenedFileCounter(ActiveAdaptors activeAdaptors, size_t maxOpenFiles)
    : activeAdaptors_(std::move(activeAdaptors)), maxOpenFiles_(maxOpenFiles), numOpenFiles_(0) {}

void OpenedFileCounter::ensureMaxOpenFileLimit(size_t numNewFiles) {
  if (!activeAdaptors_) {
    return;
  }
  if (numOpenFiles_ + numNewFiles <= maxOpenFiles_) {
    numOpenFiles_ += numNewFiles;
    return;
  }
  assert(numNewFiles <= maxOpenFiles_);
  size_t numClose = numOpenFiles_ + numNewFiles - maxOpenFiles_;
  size_t left = numClose;
  auto adaptors = activeAdaptors_();
  if (!adaptors.empty()) {
    size_t start = SimpleRandomizer::getInstance()->getRandomNumber(adaptors.size());
    for (size_t k = 0; k < adaptors.size() && left > 0; ++k) {
      const auto& adaptor = adaptors[(start + k) % adaptors.size()];
      if (adaptor) {
        left -= std::min(left, adaptor->tryCloseFile(left));
      }
    }
  }
  // Files counted for downloads that already left the active list cannot be
  // closed from here; count what was really closed.
  numOpenFiles_ = numOpenFiles_ + numNewFiles - (numClose - left);
}

void OpenedFileCounter::reduceNumOfOpenedFile(size_t numCloseFiles) {
  if (!activeAdaptors_) {
    return;
  }
  numOpenFiles_ -= std::min(numOpenFiles_, numCloseFiles);
}

void OpenedFileCounter::deactivate() {
  activeAdaptors_ = nullptr;
}

}  // namespace quarn
