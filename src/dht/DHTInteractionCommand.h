#pragma once

#include <memory>

#include "engine/Command.h"

namespace quarn {

class DownloadEngine;
class DHTConnection;
class DHTMessageDispatcher;
class DHTMessageReceiver;
class DHTSocketSharer;
class DHTTaskQueue;
class SocketCore;

// Drives one address family's DHT on every event-loop turn: runs its tasks,
// reads the socket (a bounded number of datagrams), times out queries and
// sends what is queued.
class DHTInteractionCommand : public Command {
 public:
  DHTInteractionCommand(cuid_t cuid, DownloadEngine* e);
  ~DHTInteractionCommand() override;

  bool execute() override;

  void setMessageDispatcher(DHTMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  void setMessageReceiver(DHTMessageReceiver* receiver) { receiver_ = receiver; }
  void setTaskQueue(DHTTaskQueue* taskQueue) { taskQueue_ = taskQueue; }
  void setConnection(std::unique_ptr<DHTConnection> connection);
  void setSocketSharer(std::shared_ptr<DHTSocketSharer> sharer) { sharer_ = std::move(sharer); }
  // Wakes this command when the socket has data.
  void setReadCheckSocket(std::shared_ptr<SocketCore> socket);

 private:
  bool runIsOver() const;
  void receiveDatagrams();

  DownloadEngine* e_;
  DHTMessageDispatcher* dispatcher_ = nullptr;
  DHTMessageReceiver* receiver_ = nullptr;
  DHTTaskQueue* taskQueue_ = nullptr;
  std::unique_ptr<DHTConnection> connection_;
  std::shared_ptr<DHTSocketSharer> sharer_;
  std::shared_ptr<SocketCore> readCheckSocket_;
};

}  // namespace quarn
