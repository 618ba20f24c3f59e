#include "bittorrent/BtExtendedMessage.h"

#include <cassert>

#include "bittorrent/ExtensionMessageFactory.h"
#include "bittorrent/Peer.h"
#include "bittorrent/wire_fields.h"

namespace quarn {

BtExtendedMessage::BtExtendedMessage(std::unique_ptr<ExtensionMessage> extensionMessage)
    : SimpleBtMessage(ID, NAME), extensionMessage_(std::move(extensionMessage)) {}

std::unique_ptr<BtExtendedMessage> BtExtendedMessage::create(ExtensionMessageFactory* factory,
                                                             const std::shared_ptr<Peer>&,
                                                             const unsigned char* data,
                                                             size_t length) {
  bittorrent::assertPayloadLengthGreater(1, length, NAME);
  bittorrent::assertID(ID, data, NAME);
  assert(factory);
  return std::make_unique<BtExtendedMessage>(factory->createMessage(data + 1, length - 1));
}

std::vector<unsigned char> BtExtendedMessage::createMessage() {
  const std::string payload = extensionMessage_->getPayload();
  std::vector<unsigned char> out(4 + 2 + payload.size());
  bittorrent::createPeerMessageString(out.data(), out.size(), 2 + payload.size(), ID);
  out[5] = extensionMessage_->getExtensionMessageID();
  std::copy(payload.begin(), payload.end(), out.begin() + 6);
  return out;
}

bool BtExtendedMessage::sendPredicate() const {
  return getPeer()->isExtendedMessagingEnabled();
}

void BtExtendedMessage::doReceivedAction() {
  extensionMessage_->doReceivedAction();
}

std::string BtExtendedMessage::toString() const {
  return std::string(NAME) + " " + extensionMessage_->toString();
}

}  // namespace quarn
