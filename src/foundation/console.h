#pragma once

#include <memory>

#include "foundation/OutputFile.h"

namespace quarn {
namespace global {

// Points the console sinks at standard output and standard error, or at one
// sink that discards everything when suppress is true.
void initConsole(bool suppress);

// The console sinks. Used before initConsole, they start on standard output
// and standard error.
const std::shared_ptr<OutputFile>& cout();
const std::shared_ptr<OutputFile>& cerr();

// Sends console output to the error sink too; the output sink is kept aside.
void redirectStdoutToStderr();

}  // namespace global
}  // namespace quarn
