#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/Command.h"

namespace quarn {

class AsyncNameResolverMan;
class DHTNode;
class DHTRoutingTable;
class DHTTaskFactory;
class DHTTaskQueue;
class DownloadEngine;

// Resolves DHT entry points (host, port) one after the other and pings each
// one found; with bootstrap on, and at least one found, then looks up the
// local id so that the routing table fills.
class DHTEntryPointNameResolveCommand : public Command {
 public:
  DHTEntryPointNameResolveCommand(cuid_t cuid, DownloadEngine* e, int family,
                                  const std::vector<std::pair<std::string, uint16_t>>& entryPoints);
  ~DHTEntryPointNameResolveCommand() override;

  bool execute() override;

  void setBootstrapEnabled(bool f) { bootstrapEnabled_ = f; }
  void setTaskQueue(DHTTaskQueue* taskQueue) { taskQueue_ = taskQueue; }
  void setTaskFactory(DHTTaskFactory* taskFactory) { taskFactory_ = taskFactory; }
  void setRoutingTable(DHTRoutingTable* routingTable) { routingTable_ = routingTable; }
  void setLocalNode(std::shared_ptr<DHTNode> localNode) { localNode_ = std::move(localNode); }

  int getResolvedCount() const { return numSuccess_; }

 private:
  // False when the command must wait for the resolver.
  bool resolveAsync();
  void resolveBlocking();
  // For an address literal: 1 when this family can use it, else -1; 0 for a
  // host name.
  int resolveNumeric(std::vector<std::string>& res, const std::string& hostname) const;
  // 1 resolved, 0 still waiting, -1 failed.
  int resolveHostname(std::vector<std::string>& res, const std::string& hostname);
  void addPingTask(const std::string& addr, uint16_t port);
  void bootstrap();

  DownloadEngine* e_;
  std::unique_ptr<AsyncNameResolverMan> asyncNameResolverMan_;
  DHTTaskQueue* taskQueue_ = nullptr;
  DHTTaskFactory* taskFactory_ = nullptr;
  DHTRoutingTable* routingTable_ = nullptr;
  std::shared_ptr<DHTNode> localNode_;
  std::deque<std::pair<std::string, uint16_t>> entryPoints_;
  int family_;
  int numSuccess_ = 0;
  bool bootstrapEnabled_ = false;
};

}  // namespace quarn
