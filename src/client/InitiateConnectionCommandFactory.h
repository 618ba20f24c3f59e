#pragma once

#include <memory>

#include "engine/Command.h"

namespace quarn {

class DownloadEngine;
class FileEntry;
class Request;
class RequestGroup;

// Chooses the connection-initiation command of a request's protocol.
class InitiateConnectionCommandFactory {
 public:
  static std::unique_ptr<Command> createInitiateConnectionCommand(
      cuid_t cuid, const std::shared_ptr<Request>& req, const std::shared_ptr<FileEntry>& fileEntry,
      RequestGroup* requestGroup, DownloadEngine* e);
};

}  // namespace quarn
