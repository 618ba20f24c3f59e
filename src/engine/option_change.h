#pragma once

#include <memory>

namespace quarn {

class DownloadEngine;
class Option;
class RequestGroup;

// Merges changed options into a download's own options and applies what they
// require now (checksum, file selection, connections, paths, speed limits).
// Used by the control server and when a download restarts with options that
// could only be applied while it was stopped.
void changeOption(const std::shared_ptr<RequestGroup>& group, const Option& option,
                  DownloadEngine* e);

// Merges changed options into the global options and applies the process-wide
// ones (overall limits, concurrency, kept results, logging, open files).
void changeGlobalOption(const Option& option, DownloadEngine* e);

}  // namespace quarn
