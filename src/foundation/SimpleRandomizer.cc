#include "foundation/SimpleRandomizer.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <utility>

#include "platform/secure_random.h"

namespace quarn {

std::unique_ptr<SimpleRandomizer> SimpleRandomizer::instance_;

const std::unique_ptr<SimpleRandomizer>& SimpleRandomizer::getInstance() {
  if (!instance_) {
    instance_.reset(new SimpleRandomizer());
  }
  return instance_;
}

int64_t SimpleRandomizer::getRandomNumber(int64_t to) {
  if (to <= 0) {
    fprintf(stderr, "Assertion `to > 0' failed.\n");
    abort();
  }
  if (to == 1) {
    return 0;
  }
  return std::uniform_int_distribution<int64_t>(0, to - 1)(*this);
}

void SimpleRandomizer::getRandomBytes(unsigned char* buf, size_t len) {
  platform::secureRandomBytes(buf, len);
}

SimpleRandomizer::result_type SimpleRandomizer::operator()() {
  if (poolLeft_ == 0) {
    platform::secureRandomBytes(pool_.data(), sizeof(pool_));
    poolLeft_ = pool_.size();
  }
  // Each number is handed out once.
  return std::exchange(pool_[--poolLeft_], 0);
}

}  // namespace quarn
