#pragma once

#include <cstdint>

namespace quarn {

class Randomizer {
 public:
  virtual ~Randomizer() = default;
  // A uniformly distributed integer in [0, to - 1]; to must be positive.
  virtual int64_t getRandomNumber(int64_t to) = 0;
};

}  // namespace quarn
