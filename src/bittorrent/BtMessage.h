#pragma once

#include <cstdint>
#include <string>

#include "bittorrent/BtEvents.h"

namespace quarn {

// A message exchanged with a peer after the connection set-up: its wire form,
// its check after decoding, what receiving it does to the session, and how a
// queued one reacts to the dispatcher's events.
class BtMessage {
 public:
  virtual ~BtMessage() = default;
  virtual uint8_t getId() const = 0;
  // A queued message that must no longer be sent.
  virtual bool isInvalidate() const = 0;
  // Piece messages, held back under an upload limit.
  virtual bool isUploading() const = 0;
  virtual void doReceivedAction() = 0;
  virtual void send() = 0;
  // Throws DlAbortEx when a received message cannot be used.
  virtual void validate() = 0;
  virtual void onAbortOutstandingRequestEvent(const BtAbortOutstandingRequestEvent& event) = 0;
  virtual void onCancelSendingPieceEvent(const BtCancelSendingPieceEvent& event) = 0;
  virtual void onChokingEvent(const BtChokingEvent& event) = 0;
  // Called when the dispatcher queues the message.
  virtual void onQueued() = 0;
  virtual std::string toString() const = 0;
};

}  // namespace quarn
