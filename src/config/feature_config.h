#pragma once

#include <cstdint>
#include <string>
#include "foundation/uri.h"

namespace quarn {

// The built-in features, joined by ", ".
std::string featureSummary();

// The name of built-in feature `index`, or null past the last one.
const char* strSupportedFeature(int index);

// The libraries the build was made against, with their versions.
std::string usedLibs();

// The compiler, the build target and the build date, on three lines.
std::string usedCompilerAndPlatform();

// The running system as `uname` describes it.
std::string getOperatingSystemInfo();

}  // namespace quarn
