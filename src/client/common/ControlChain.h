#pragma once

namespace quarn {

class DownloadEngine;

// Knows what comes after a step: given the finished command, it starts the
// next one.
template <typename T>
class ControlChain {
 public:
  virtual ~ControlChain() = default;
  virtual int run(T t, DownloadEngine* e) = 0;
};

}  // namespace quarn
