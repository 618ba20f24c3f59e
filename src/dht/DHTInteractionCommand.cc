#include "dht/DHTInteractionCommand.h"

#include "dht/DHTConnection.h"
#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTMessageReceiver.h"
#include "dht/DHTSocketSharer.h"
#include "dht/DHTTaskQueue.h"
#include "dht/receive_datagrams.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroupMan.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "net/SocketCore.h"

namespace quarn {

DHTInteractionCommand::DHTInteractionCommand(cuid_t cuid, DownloadEngine* e)
    : Command(cuid), e_(e) {
  setStatusRealtime();
}

DHTInteractionCommand::~DHTInteractionCommand() {
  setReadCheckSocket(nullptr);
}

void DHTInteractionCommand::setConnection(std::unique_ptr<DHTConnection> connection) {
  connection_ = std::move(connection);
}

void DHTInteractionCommand::setReadCheckSocket(std::shared_ptr<SocketCore> socket) {
  if (readCheckSocket_) {
    e_->deleteSocketForReadCheck(readCheckSocket_->getSockfd(), this);
  }
  readCheckSocket_ = std::move(socket);
  if (readCheckSocket_) {
    e_->addSocketForReadCheck(readCheckSocket_->getSockfd(), this);
  }
}

bool DHTInteractionCommand::runIsOver() const {
  if (e_->getRequestGroupMan()->downloadFinished()) {
    return true;
  }
  if (!e_->isHaltRequested()) {
    return false;
  }
  // A plain halt waits for the tracker announces still out (the stopped
  // events); a forced halt gives them up.
  if (!sharer_ || !sharer_->hasWatchers()) {
    return true;
  }
  if (e_->isForceHaltRequested()) {
    sharer_->failAll();
    return true;
  }
  return false;
}

void DHTInteractionCommand::receiveDatagrams() {
  dht::OtherDatagramHandler other;
  if (sharer_) {
    other = [this](const unsigned char* data, size_t length, const std::string& host,
                   uint16_t port) { sharer_->onDatagram(data, length, host, port); };
  }
  try {
    dht::receiveDatagrams(*connection_, *receiver_, other);
  } catch (const RecoverableException& e) {
    QLOG_INFO_EX("Exception thrown while receiving UDP message.", e);
  }
}

bool DHTInteractionCommand::execute() {
  if (runIsOver()) {
    QLOG_DEBUG("DHTInteractionCommand exiting");
    return true;
  }
  taskQueue_->executeTask();
  receiveDatagrams();
  receiver_->handleTimeout();
  if (sharer_) {
    sharer_->handleTimeout();
  }
  dispatcher_->sendMessages();
  if (sharer_) {
    sharer_->sendRequests(*connection_);
  }
  e_->addRoutineCommand(std::unique_ptr<Command>(this));
  return false;
}

}  // namespace quarn
