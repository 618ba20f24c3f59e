#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

#include "foundation/Randomizer.h"

namespace quarn {

// The process-wide source of randomness, drawing every bit from the platform's
// secure generator. Also a uniform random bit generator for <random> and
// std::shuffle.
class SimpleRandomizer : public Randomizer {
 public:
  using result_type = uint32_t;

  static const std::unique_ptr<SimpleRandomizer>& getInstance();

  int64_t getRandomNumber(int64_t to) override;
  void getRandomBytes(unsigned char* buf, size_t len);

  static constexpr result_type min() { return 0; }
  static constexpr result_type max() { return std::numeric_limits<result_type>::max(); }
  result_type operator()();

 private:
  SimpleRandomizer() = default;

  static std::unique_ptr<SimpleRandomizer> instance_;
  // Numbers for operator(), drawn from the secure generator a block at a
  // time: shuffling the pieces of a large download would otherwise make a
  // system call per number.
  std::array<result_type, 64> pool_{};
  size_t poolLeft_ = 0;
};

}  // namespace quarn
