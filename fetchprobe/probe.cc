#include "fetchprobe/probe.h"

#include <unistd.h>

#include <cstring>

#include "fetchprobe/console.h"
#include "fetchprobe/utf8.h"

namespace quarn {
namespace probe {

namespace {

std::string describeOsError(int errNum) {
  return std::string(std::strerror(errNum)) + " (os error " + std::to_string(errNum) + ")";
}

// The last two components of the compiler's path of a source file.
std::string_view shortSourcePath(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos || slash == 0)
    return path;
  size_t previous = path.rfind('/', slash - 1);
  return previous == std::string_view::npos ? path : path.substr(previous + 1);
}

}  // namespace

Command extractorCommand(const std::string& extractorPath, const std::string& denoPath) {
  Command command(extractorPath);
  command.arg("-J")
      .arg("--no-warnings")
      .arg("--no-playlist")
      .arg("--no-check-formats")
      .arg("--socket-timeout")
      .arg("20")
      .arg("--retries")
      .arg("3")
      .arg("--extractor-retries")
      .arg("3")
      .arg("--compat-options")
      .arg("no-youtube-unavailable-videos")
      .arg("--js-runtimes")
      .arg("deno:" + denoPath + ",node")
      .arg("--")
      .arg(std::string(VIDEO_PAGE_URL));
  return command;
}

std::string runningLine(const Command& command) {
  return "Running: " + command.debugForm();
}

std::string statusLine(const ChildOutput& output) {
  return "Status: " + output.status.toString();
}

std::string stdoutLine(const ChildOutput& output) {
  return "Stdout: " + utf8::decodeLossy(output.stdoutBytes, STDOUT_SHOWN_CHARS);
}

std::string stderrLine(const ChildOutput& output) {
  return "Stderr: " + utf8::decodeLossy(output.stderrBytes);
}

std::string unrecoverableReport(const SpawnFailure& failure) {
  const SourceLocation& where = failure.where();
  return "fetchprobe: unrecoverable error: " + std::string(failure.what()) + ": " +
         describeOsError(failure.errNum()) + ", at " +
         std::string(shortSourcePath(where.file_name())) + ":" + std::to_string(where.line()) +
         ":" + std::to_string(where.column()) + "\n";
}

OutputFailure::OutputFailure(int errNum)
    : std::runtime_error("failed printing to standard output: " + describeOsError(errNum)),
      errNum_(errNum) {}

void print(const std::string& line) {
  int err = console::writeAll(STDOUT_FILENO, line + "\n");
  if (err != 0)
    throw OutputFailure(err);
}

}  // namespace probe
}  // namespace quarn
