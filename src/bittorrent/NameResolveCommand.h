#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/Command.h"

namespace quarn {

class AsyncNameResolverMan;
class DownloadEngine;
struct UDPTrackerRequest;

// Resolves a UDP tracker's host, then hands the request to the engine's UDP
// tracker client. A host that resolves to nothing completes the request with
// a network error.
class NameResolveCommand : public Command {
 public:
  NameResolveCommand(cuid_t cuid, DownloadEngine* e, std::shared_ptr<UDPTrackerRequest> request);
  ~NameResolveCommand() override;

  bool execute() override;

 private:
  // 1 resolved, 0 still waiting, -1 failed.
  int resolveHostname(std::vector<std::string>& res, const std::string& hostname);
  void resolveBlocking(std::vector<std::string>& res, const std::string& hostname);
  void onShutdown();
  void onFailure();
  void onSuccess(const std::vector<std::string>& addrs);

  DownloadEngine* e_;
  std::unique_ptr<AsyncNameResolverMan> asyncNameResolverMan_;
  std::shared_ptr<UDPTrackerRequest> req_;
};

}  // namespace quarn
