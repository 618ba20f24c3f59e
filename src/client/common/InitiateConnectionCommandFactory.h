#pragma once

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>

#include "engine/Command.h"
#include "engine/EngineService.h"

namespace quarn {

class DownloadEngine;
class FileEntry;
class Request;
class RequestGroup;

// Chooses the connection-initiation command of a request's protocol. Each
// protocol of the client registers its command for its schemes, so that the
// shared connection framework does not depend on any one protocol.
class InitiateConnectionCommandFactory : public EngineService {
 public:
  using Creator = std::function<std::unique_ptr<Command>(cuid_t, const std::shared_ptr<Request>&,
                                                         const std::shared_ptr<FileEntry>&,
                                                         RequestGroup*, DownloadEngine*)>;

  static std::unique_ptr<Command> createInitiateConnectionCommand(
      cuid_t cuid, const std::shared_ptr<Request>& req, const std::shared_ptr<FileEntry>& fileEntry,
      RequestGroup* requestGroup, DownloadEngine* e);

  // The engine's factory, made empty on first use.
  static InitiateConnectionCommandFactory& of(DownloadEngine& e);

  void add(std::initializer_list<const char*> schemes, const Creator& creator);

 private:
  std::map<std::string, Creator> creators_;
};

}  // namespace quarn
