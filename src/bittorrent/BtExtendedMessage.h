#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bittorrent/ExtensionMessage.h"
#include "bittorrent/SimpleBtMessage.h"

namespace quarn {

class ExtensionMessageFactory;
class Peer;

// The peer-wire message that carries one extension message.
class BtExtendedMessage : public SimpleBtMessage {
 public:
  static constexpr uint8_t ID = 20;
  static constexpr const char* NAME = "extended";

  explicit BtExtendedMessage(std::unique_ptr<ExtensionMessage> extensionMessage);
  // data starts at the message id.
  static std::unique_ptr<BtExtendedMessage> create(ExtensionMessageFactory* factory,
                                                   const std::shared_ptr<Peer>& peer,
                                                   const unsigned char* data, size_t length);

  std::vector<unsigned char> createMessage() override;
  bool sendPredicate() const override;
  void doReceivedAction() override;
  std::string toString() const override;
  const std::unique_ptr<ExtensionMessage>& getExtensionMessage() const { return extensionMessage_; }

 private:
  std::unique_ptr<ExtensionMessage> extensionMessage_;
};

}  // namespace quarn
