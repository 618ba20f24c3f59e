#pragma once

#include "dht/DHTQueryMessage.h"

namespace quarn {

class DHTPingMessage : public DHTQueryMessage {
 public:
  using DHTQueryMessage::DHTQueryMessage;

  // Answers with this node's id.
  void doReceivedAction() override;
  std::unique_ptr<Dict> getArgument() const override;
  std::string getMessageType() const override { return "ping"; }
};

}  // namespace quarn
