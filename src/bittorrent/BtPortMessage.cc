#include "bittorrent/BtPortMessage.h"

#include "bittorrent/DHTPortReceiver.h"
#include "bittorrent/Peer.h"
#include "bittorrent/wire_fields.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"

namespace quarn {

std::unique_ptr<BtPortMessage> BtPortMessage::create(std::span<const std::byte> payload) {
  bittorrent::assertPayloadLengthEqual(3, payload.size(), NAME);
  const unsigned char* p = payloadBytes(payload);
  bittorrent::assertID(ID, p, NAME);
  return std::make_unique<BtPortMessage>(bittorrent::getShortIntParam(p, 1));
}

void BtPortMessage::doReceivedAction() {
  if (!receiver_) {
    QLOG_INFO("DHT port message received while localhost didn't declare support it.");
    return;
  }
  if (port_ == 0) {
    QLOG_DEBUG("Ignored port 0.");
    return;
  }
  receiver_->onPeerPort(getPeer()->getIPAddress(), port_);
}

std::vector<unsigned char> BtPortMessage::createMessage() {
  std::vector<unsigned char> msg(7);
  bittorrent::createPeerMessageString(msg.data(), msg.size(), 3, ID);
  bittorrent::setShortIntParam(&msg[5], port_);
  return msg;
}

std::string BtPortMessage::toString() const {
  return fmt("%s port=%u", NAME, port_);
}

}  // namespace quarn
