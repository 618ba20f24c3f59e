#include <unistd.h>

#include <cstdlib>

#include "fetchprobe/ChildProcess.h"
#include "fetchprobe/SpawnFailure.h"
#include "fetchprobe/console.h"
#include "fetchprobe/probe.h"

using namespace quarn;

// Runs the extractor once and prints the command, how it ended and what it wrote.
// Exits with 0 whatever the extractor did; only a failure of this program is an error.
int main() try {
  console::ensureStandardDescriptors();
  console::ignoreSigpipe();
  Command command = probe::extractorCommand(FETCHPROBE_EXTRACTOR_PATH, FETCHPROBE_DENO_PATH);
  probe::print(probe::runningLine(command));

  // A child that cannot be started ends the program with the report below.
  auto captured = runCapturing(command);
  probe::print(probe::statusLine(captured));
  probe::print(probe::stdoutLine(captured));
  probe::print(probe::stderrLine(captured));
  return EXIT_SUCCESS;
} catch (const SpawnFailure& failure) {
  console::writeAll(STDERR_FILENO, probe::unrecoverableReport(failure));
  return EXIT_FAILURE;
} catch (const probe::OutputFailure& failure) {
  console::writeAll(STDERR_FILENO, std::string("fetchprobe: ") + failure.what() + "\n");
  return EXIT_FAILURE;
}
