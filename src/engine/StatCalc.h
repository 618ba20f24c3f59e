#pragma once

namespace quarn {

class DownloadEngine;

// Called by the loop once per turn with the engine.
class StatCalc {
 public:
  virtual ~StatCalc() = default;
  virtual void calculateStat(const DownloadEngine* e) = 0;
};

}  // namespace quarn
