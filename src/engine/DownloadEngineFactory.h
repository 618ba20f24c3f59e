#pragma once

#include <memory>
#include <vector>

namespace quarn {

class DownloadEngine;
class Option;
class RequestGroup;

// Builds the engine of one run: its event poll, its download manager with the
// initial downloads, and the routine commands that keep the run going.
class DownloadEngineFactory {
 public:
  std::unique_ptr<DownloadEngine> newDownloadEngine(
      Option* op, std::vector<std::shared_ptr<RequestGroup>> requestGroups);
};

}  // namespace quarn
