#pragma once

#include "dht/DHTResponseMessage.h"

namespace quarn {

class DHTAnnouncePeerReplyMessage : public DHTResponseMessage {
 public:
  using DHTResponseMessage::DHTResponseMessage;

  void doReceivedAction() override {}
  std::unique_ptr<Dict> getResponse() const override;
  std::string getMessageType() const override { return "announce_peer"; }
  void accept(DHTMessageCallback* callback) override;
};

}  // namespace quarn
