#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quarn {

class BtMessage;
class Piece;
class RequestSlot;

// The send queue and the outstanding requests of one peer connection.
class BtMessageDispatcher {
 public:
  virtual ~BtMessageDispatcher() = default;
  virtual void addMessageToQueue(std::unique_ptr<BtMessage> message) = 0;
  virtual void sendMessages() = 0;
  // The peer cancelled its request of this block.
  virtual void doCancelSendingPieceAction(size_t index, int32_t begin, int32_t length) = 0;
  // The requests for this piece are void.
  virtual void doAbortOutstandingRequestAction(const std::shared_ptr<Piece>& piece) = 0;
  // The peer choked this side: its outstanding requests are void, except
  // those of allowed-fast pieces.
  virtual void doChokedAction() = 0;
  // This side chokes the peer: queued uploads are dropped.
  virtual void doChokingAction() = 0;
  // Times out unanswered requests and cancels those another peer answered.
  virtual void checkRequestSlotAndDoNecessaryThing() = 0;
  virtual bool isSendingInProgress() = 0;
  virtual size_t countMessageInQueue() = 0;
  virtual size_t countOutstandingRequest() = 0;
  virtual bool isOutstandingRequest(size_t index, size_t blockIndex) = 0;
  // Null when no such block is outstanding.
  virtual const RequestSlot* getOutstandingRequest(size_t index, int32_t begin, int32_t length) = 0;
  virtual void removeOutstandingRequest(const RequestSlot* slot) = 0;
  virtual void addOutstandingRequest(std::unique_ptr<RequestSlot> slot) = 0;
  // The piece messages queued for the peer.
  virtual size_t countOutstandingUpload() = 0;
};

}  // namespace quarn
