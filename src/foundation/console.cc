#include "foundation/console.h"

#include <cstdio>

#include "foundation/BufferedFile.h"
#include "foundation/NullOutputFile.h"

namespace quarn {
namespace global {

namespace {

struct ConsoleSinks {
  std::shared_ptr<OutputFile> out;
  std::shared_ptr<OutputFile> err;
  std::shared_ptr<OutputFile> outBackup;
};

// The sinks over the standard streams are made once: dropping the one over
// standard output would close that stream for the rest of the process.
const std::shared_ptr<OutputFile>& standardOut() {
  static std::shared_ptr<OutputFile> out = std::make_shared<BufferedFile>(stdout);
  return out;
}

const std::shared_ptr<OutputFile>& standardErr() {
  static std::shared_ptr<OutputFile> err = std::make_shared<BufferedFile>(stderr);
  return err;
}

ConsoleSinks& sinks() {
  static ConsoleSinks consoleSinks;
  if (!consoleSinks.out) {
    consoleSinks.out = standardOut();
    consoleSinks.err = standardErr();
  }
  return consoleSinks;
}

}  // namespace

void initConsole(bool suppress) {
  ConsoleSinks& s = sinks();
  s.outBackup.reset();
  if (suppress) {
    auto null = std::make_shared<NullOutputFile>();
    s.out = null;
    s.err = null;
  } else {
    s.out = standardOut();
    s.err = standardErr();
  }
}

const std::shared_ptr<OutputFile>& cout() {
  return sinks().out;
}

const std::shared_ptr<OutputFile>& cerr() {
  return sinks().err;
}

void redirectStdoutToStderr() {
  ConsoleSinks& s = sinks();
  s.outBackup = s.out;
  s.out = s.err;
}

}  // namespace global
}  // namespace quarn
