#include "fetchprobe/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "fetchprobe/SpawnFailure.h"
#include "fetchprobe/debug_form.h"

extern char** environ;

namespace quarn {

namespace {

struct Pipe {
  FileDescriptor readEnd;
  FileDescriptor writeEnd;
};

Pipe makePipe(SourceLocation where) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    throw SpawnFailure("failed to create a pipe", errno, where);
  }
  return {FileDescriptor(fds[0]), FileDescriptor(fds[1])};
}

class SpawnFileActions {
 public:
  SpawnFileActions() { ::posix_spawn_file_actions_init(&actions_); }
  ~SpawnFileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { ::posix_spawnattr_init(&attr_); }
  ~SpawnAttributes() { ::posix_spawnattr_destroy(&attr_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t* get() { return &attr_; }

 private:
  posix_spawnattr_t attr_;
};

std::vector<char*> argumentVector(const Command& command) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(command.program().c_str()));
  for (const auto& argument : command.arguments()) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  return argv;
}

// Returns false at the end of the stream.
bool readChunk(int fd, std::string& into, SourceLocation where) {
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof(buf));
    if (n > 0) {
      into.append(buf, static_cast<size_t>(n));
      return true;
    }
    if (n == 0)
      return false;
    if (errno != EINTR)
      throw SpawnFailure("failed to read the child's output", errno, where);
  }
}

}  // namespace

ChildProcess::ChildProcess(pid_t pid, FileDescriptor stdoutPipe, FileDescriptor stderrPipe,
                           SourceLocation where)
    : pid_(pid),
      stdoutPipe_(std::move(stdoutPipe)),
      stderrPipe_(std::move(stderrPipe)),
      where_(where) {}

ChildProcess ChildProcess::spawn(const Command& command, SourceLocation where) {
  Pipe out = makePipe(where);
  Pipe err = makePipe(where);

  SpawnFileActions actions;
  ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(actions.get(), out.writeEnd.get(), STDOUT_FILENO);
  ::posix_spawn_file_actions_adddup2(actions.get(), err.writeEnd.get(), STDERR_FILENO);

  // This process ignores SIGPIPE, and an ignored signal would stay ignored
  // across exec; the child gets the default.
  SpawnAttributes attributes;
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  ::posix_spawnattr_setsigdefault(attributes.get(), &defaults);
  ::posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv = argumentVector(command);
  pid_t pid = -1;
  int rc = ::posix_spawnp(&pid, command.program().c_str(), actions.get(), attributes.get(),
                          argv.data(), environ);
  if (rc != 0) {
    throw SpawnFailure("failed to start the child process " + debug_form::quoted(command.program()),
                       rc, where);
  }
  return ChildProcess(pid, std::move(out.readEnd), std::move(err.readEnd), where);
}

ChildOutput ChildProcess::waitWithOutput() {
  std::string stdoutBytes;
  std::string stderrBytes;
  drainPipes(stdoutBytes, stderrBytes);
  int waitStatus = reap();
  return {ExitStatus(waitStatus), std::move(stdoutBytes), std::move(stderrBytes)};
}

void ChildProcess::drainPipes(std::string& stdoutBytes, std::string& stderrBytes) {
  while (stdoutPipe_.valid() || stderrPipe_.valid()) {
    // poll() skips entries with a negative descriptor, so a closed pipe drops out.
    pollfd fds[2] = {{stdoutPipe_.get(), POLLIN, 0}, {stderrPipe_.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      throw SpawnFailure("failed to wait for the child's output", errno, where_);
    }
    if (fds[0].revents != 0 && !readChunk(stdoutPipe_.get(), stdoutBytes, where_)) {
      stdoutPipe_.reset();
    }
    if (fds[1].revents != 0 && !readChunk(stderrPipe_.get(), stderrBytes, where_)) {
      stderrPipe_.reset();
    }
  }
}

int ChildProcess::reap() {
  int waitStatus = 0;
  while (::waitpid(pid_, &waitStatus, 0) < 0) {
    if (errno != EINTR)
      throw SpawnFailure("failed to wait for the child", errno, where_);
  }
  return waitStatus;
}

ChildOutput runCapturing(const Command& command, SourceLocation where) {
  return ChildProcess::spawn(command, where).waitWithOutput();
}

}  // namespace quarn
