#include "fetchprobe/ExitStatus.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

namespace quarn {

TEST(ExitStatusTest, DisplayFormOfExitsAndSignals) {
  struct Case {
    int waitStatus;
    std::string display;
  } cases[] = {
      {W_EXITCODE(0, 0), "exit status: 0"},
      {W_EXITCODE(1, 0), "exit status: 1"},
      {W_EXITCODE(255, 0), "exit status: 255"},
      {W_EXITCODE(0, SIGKILL), "signal: 9 (SIGKILL)"},
      {W_EXITCODE(0, SIGTERM), "signal: 15 (SIGTERM)"},
      {W_EXITCODE(0, SIGPIPE), "signal: 13 (SIGPIPE)"},
      {W_EXITCODE(0, SIGSEGV) | WCOREFLAG, "signal: 11 (SIGSEGV) (core dumped)"},
      {W_EXITCODE(0, SIGABRT) | WCOREFLAG, "signal: 6 (SIGABRT) (core dumped)"},
      {W_EXITCODE(0, SIGRTMIN + 2), "signal: " + std::to_string(SIGRTMIN + 2) + " (SIGRTMIN+2)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExitStatus(c.waitStatus).toString(), c.display);
  }
}

}  // namespace quarn
