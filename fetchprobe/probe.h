#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "fetchprobe/ChildProcess.h"
#include "fetchprobe/Command.h"
#include "fetchprobe/SpawnFailure.h"

namespace quarn {
namespace probe {

// The video page handed to the extractor.
inline constexpr std::string_view VIDEO_PAGE_URL = "https://www.youtube.com/watch?v=jNQXAC9IVRw";

// Standard output is shown up to this many characters, standard error whole.
inline constexpr size_t STDOUT_SHOWN_CHARS = 200;

// The extractor with the arguments that ask for the page's metadata as JSON
// and name the JavaScript runtimes it may use.
Command extractorCommand(const std::string& extractorPath, const std::string& denoPath);

std::string runningLine(const Command& command);
std::string statusLine(const ChildOutput& output);
std::string stdoutLine(const ChildOutput& output);
std::string stderrLine(const ChildOutput& output);

// The report for a child that could not be run: what failed, the system's
// error and where in this program it happened.
std::string unrecoverableReport(const SpawnFailure& failure);

// Writes line to standard output in one go; throws OutputFailure when it cannot.
void print(const std::string& line);

class OutputFailure : public std::runtime_error {
 public:
  explicit OutputFailure(int errNum);
  int errNum() const { return errNum_; }

 private:
  int errNum_;
};

}  // namespace probe
}  // namespace quarn
