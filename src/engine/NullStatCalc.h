#pragma once

#include "engine/StatCalc.h"

namespace quarn {

class NullStatCalc : public StatCalc {
 public:
  void calculateStat(const DownloadEngine*) override {}
};

}  // namespace quarn
