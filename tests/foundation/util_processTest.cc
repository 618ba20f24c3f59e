#include "foundation/util_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "TempDir.h"
#include "foundation/FatalException.h"
#include "foundation/LogFactory.h"

namespace quarn {

namespace {

volatile sig_atomic_t caught = 0;

void onSignal(int sig) {
  caught = sig;
}

}  // namespace

TEST(UtilProcessTest, SignalHandlerIsInstalled) {
  sigset_t mask;
  sigemptyset(&mask);
  util::setGlobalSignalHandler(SIGUSR2, &mask, onSignal, 0);
  raise(SIGUSR2);
  EXPECT_EQ(SIGUSR2, caught);
  util::setGlobalSignalHandler(SIGUSR2, &mask, SIG_DFL, 0);
}

TEST(UtilProcessTest, FailedSigactionIsLoggedNotRaised) {
  TempDir dir;
  LogFactory::release();
  LogFactory::setLogFile(dir.file("log"));
  LogFactory::consoleOutput_ = false;
  sigset_t mask;
  sigemptyset(&mask);
  EXPECT_NO_THROW(util::setGlobalSignalHandler(SIGKILL, &mask, onSignal, 0));
  LogFactory::release();
  LogFactory::setLogFile("");
  LogFactory::consoleOutput_ = true;
  std::stringstream log;
  log << std::ifstream(dir.file("log")).rdbuf();
  EXPECT_NE(std::string::npos, log.str().find("[ERROR] [util_process.cc:", 0)) << log.str();
  EXPECT_NE(std::string::npos, log.str().find("sigaction() failed for signal 9: Invalid argument"));
}

TEST(UtilProcessTest, MakeFdCloexec) {
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  EXPECT_EQ(0, fcntl(fds[0], F_GETFD) & FD_CLOEXEC);
  util::make_fd_cloexec(fds[0]);
  EXPECT_NE(0, fcntl(fds[0], F_GETFD) & FD_CLOEXEC);
  close(fds[0]);
  close(fds[1]);
  util::make_fd_cloexec(-1);
}

TEST(UtilProcessTest, AlignedMemory) {
  void* p = util::allocateAlignedMemory(4096, 100);
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % 4096);
  free(p);
}

TEST(UtilProcessTest, AlignedMemoryFailureIsFatal) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers abort on a bad alignment before we see it";
#endif
  try {
    util::allocateAlignedMemory(3, 100);
    FAIL();
  } catch (const FatalException& e) {
    EXPECT_STREQ("Error in posix_memalign: Invalid argument", e.what());
  }
}

}  // namespace quarn
