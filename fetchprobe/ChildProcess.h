#pragma once

#include <sys/types.h>

#include <string>

#include "fetchprobe/Command.h"
#include "fetchprobe/ExitStatus.h"
#include "fetchprobe/FileDescriptor.h"
#include "fetchprobe/SourceLocation.h"

namespace quarn {

struct ChildOutput {
  ExitStatus status;
  std::string stdoutBytes;
  std::string stderrBytes;
};

// A started child whose standard input reads nothing and whose standard output
// and standard error go into pipes held here.
class ChildProcess {
 public:
  // Throws SpawnFailure, naming where, when the child cannot be started.
  static ChildProcess spawn(const Command& command,
                            SourceLocation where = SourceLocation::current());

  ChildProcess(ChildProcess&&) = default;
  ChildProcess& operator=(ChildProcess&&) = default;

  // Reads both pipes to their end side by side, so that a child filling one of
  // them never blocks while the other is read, then reaps the child.
  ChildOutput waitWithOutput();

 private:
  ChildProcess(pid_t pid, FileDescriptor stdoutPipe, FileDescriptor stderrPipe,
               SourceLocation where);

  void drainPipes(std::string& stdoutBytes, std::string& stderrBytes);
  int reap();

  pid_t pid_;
  FileDescriptor stdoutPipe_;
  FileDescriptor stderrPipe_;
  SourceLocation where_;
};

// Starts the command and waits for its output and its end. Throws SpawnFailure,
// naming where, when the child cannot be started.
ChildOutput runCapturing(const Command& command, SourceLocation where = SourceLocation::current());

}  // namespace quarn
