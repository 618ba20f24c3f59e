#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>

#include "bittorrent/BtMessageDispatcher.h"

namespace quarn {

class BtMessageFactory;
class DownloadContext;
class Peer;
class PeerConnection;
class RequestGroupMan;

// The outgoing queue and the request slots of one peer connection.
class DefaultBtMessageDispatcher : public BtMessageDispatcher {
 public:
  // How many unsent buffers the connection may hold before no further
  // message is encoded.
  static constexpr size_t MAX_PENDING_BUFFERS = 128;

  DefaultBtMessageDispatcher() = default;
  ~DefaultBtMessageDispatcher() override;

  void addMessageToQueue(std::unique_ptr<BtMessage> message) override;
  void sendMessages() override;
  void doCancelSendingPieceAction(size_t index, int32_t begin, int32_t length) override;
  void doAbortOutstandingRequestAction(const std::shared_ptr<Piece>& piece) override;
  void doChokedAction() override;
  void doChokingAction() override;
  void checkRequestSlotAndDoNecessaryThing() override;
  bool isSendingInProgress() override;
  size_t countMessageInQueue() override { return messageQueue_.size(); }
  size_t countOutstandingRequest() override { return requestSlots_.size(); }
  bool isOutstandingRequest(size_t index, size_t blockIndex) override;
  const RequestSlot* getOutstandingRequest(size_t index, int32_t begin, int32_t length) override;
  void removeOutstandingRequest(const RequestSlot* slot) override;
  void addOutstandingRequest(std::unique_ptr<RequestSlot> slot) override;
  size_t countOutstandingUpload() override;

  void setCuid(int64_t cuid) { cuid_ = cuid; }
  void setPeer(std::shared_ptr<Peer> peer) { peer_ = std::move(peer); }
  void setDownloadContext(DownloadContext* downloadContext) { downloadContext_ = downloadContext; }
  void setPeerConnection(PeerConnection* connection) { peerConnection_ = connection; }
  void setBtMessageFactory(BtMessageFactory* factory) { messageFactory_ = factory; }
  void setRequestGroupMan(RequestGroupMan* man) { requestGroupMan_ = man; }
  void setRequestTimeout(std::chrono::seconds timeout) { requestTimeout_ = timeout; }

  const std::deque<std::unique_ptr<BtMessage>>& getMessageQueue() const { return messageQueue_; }
  const std::deque<std::unique_ptr<RequestSlot>>& getRequestSlots() const { return requestSlots_; }

 private:
  void sendingPass();
  bool uploadLimitExceeded() const;
  // Calls f on every queued message through a copy of the queue, so that a
  // handler never walks a queue that changes under it.
  template <typename F>
  void forEachQueued(F f);

  int64_t cuid_ = 0;
  std::deque<std::unique_ptr<BtMessage>> messageQueue_;
  std::deque<std::unique_ptr<RequestSlot>> requestSlots_;
  DownloadContext* downloadContext_ = nullptr;
  PeerConnection* peerConnection_ = nullptr;
  BtMessageFactory* messageFactory_ = nullptr;
  std::shared_ptr<Peer> peer_;
  RequestGroupMan* requestGroupMan_ = nullptr;
  std::chrono::seconds requestTimeout_{0};
};

}  // namespace quarn
