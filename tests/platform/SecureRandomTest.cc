#include "platform/secure_random.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace quarn {
namespace {

// Scripted getrandom: each step either fails with an errno or delivers at most
// the given number of bytes, each byte being its running position.
struct Step {
  int errNum;
  size_t maxBytes;
};
std::vector<Step> script;
size_t stepIndex;
size_t produced;

ssize_t scriptedGetRandom(void* buf, size_t len) {
  const Step& step = script.at(stepIndex++);
  if (step.errNum != 0) {
    errno = step.errNum;
    return -1;
  }
  size_t n = std::min(len, step.maxBytes);
  for (size_t i = 0; i < n; ++i) {
    static_cast<unsigned char*>(buf)[i] = static_cast<unsigned char>(produced++);
  }
  return static_cast<ssize_t>(n);
}

void runScript(std::vector<Step> steps, size_t len, std::vector<unsigned char>& out) {
  script = std::move(steps);
  stepIndex = 0;
  produced = 0;
  out.assign(len, 0xff);
  platform::fillRandomBytes(out.data(), out.size(), scriptedGetRandom);
}

TEST(SecureRandomTest, RetriesShortReadsAndInterruptionsUntilFull) {
  std::vector<unsigned char> out;
  runScript({{0, 3}, {EINTR, 0}, {0, 1}, {EINTR, 0}, {0, 100}}, 10, out);
  EXPECT_EQ(5u, stepIndex);
  for (size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(i, out[i]);
  }
}

TEST(SecureRandomTest, ZeroLengthAsksNothing) {
  std::vector<unsigned char> out;
  runScript({}, 0, out);
  EXPECT_EQ(0u, stepIndex);
}

TEST(SecureRandomDeathTest, FailureOtherThanInterruptionAborts) {
  std::vector<unsigned char> out;
  EXPECT_DEATH(runScript({{0, 2}, {ENOSYS, 0}}, 8, out), "Secure random source failed");
  EXPECT_DEATH(runScript({{0, 0}}, 8, out), "Secure random source failed");
}

TEST(SecureRandomTest, SystemSourceFillsLargeBuffers) {
  std::vector<unsigned char> a(1 << 20), b(1 << 20);
  platform::secureRandomBytes(a.data(), a.size());
  platform::secureRandomBytes(b.data(), b.size());
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace quarn
