#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quarn {

class BtMessage;
class RequestSlot;

// The send queue and the outstanding requests of one peer connection, as the
// messages use them.
class BtMessageDispatcher {
 public:
  virtual ~BtMessageDispatcher() = default;
  virtual void addMessageToQueue(std::unique_ptr<BtMessage> message) = 0;
  // The peer choked this side: its outstanding requests are void.
  virtual void doChokedAction() = 0;
  virtual void doCancelSendingPieceAction(size_t index, int32_t begin, int32_t length) = 0;
  virtual void addOutstandingRequest(std::unique_ptr<RequestSlot> slot) = 0;
  // Null when no such block is outstanding.
  virtual const RequestSlot* getOutstandingRequest(size_t index, int32_t begin, int32_t length) = 0;
  virtual void removeOutstandingRequest(const RequestSlot* slot) = 0;
  // The piece messages queued for the peer.
  virtual size_t countOutstandingUpload() = 0;
};

}  // namespace quarn
