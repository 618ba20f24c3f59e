#include "bittorrent/ZeroBtMessage.h"

#include "bittorrent/BtMessageDispatcher.h"
#include "bittorrent/BtRequestFactory.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerStorage.h"
#include "storage/PieceStorage.h"

namespace quarn {

namespace {

constexpr const char FAST_DISABLED[] = "%s received while fast extension is disabled";

}  // namespace

std::vector<unsigned char> ZeroBtMessage::createMessage() {
  std::vector<unsigned char> msg(5);
  bittorrent::createPeerMessageString(msg.data(), msg.size(), 1, getId());
  return msg;
}

void BtChokeMessage::doReceivedAction() {
  if (isMetadataGetMode()) {
    return;
  }
  getPeer()->peerChoking(true);
  getBtMessageDispatcher()->doChokedAction();
  getBtRequestFactory()->doChokedAction();
}

void BtUnchokeMessage::doReceivedAction() {
  if (!isMetadataGetMode()) {
    getPeer()->peerChoking(false);
  }
}

void BtInterestedMessage::doReceivedAction() {
  if (isMetadataGetMode()) {
    return;
  }
  getPeer()->peerInterested(true);
  if (getPeer()->amChoking()) {
    peerStorage_->executeChoke();
  }
}

void BtNotInterestedMessage::doReceivedAction() {
  if (isMetadataGetMode()) {
    return;
  }
  getPeer()->peerInterested(false);
  if (!getPeer()->amChoking()) {
    peerStorage_->executeChoke();
  }
}

void BtHaveAllMessage::doReceivedAction() {
  checkFastExtension(FAST_DISABLED);
  if (isMetadataGetMode()) {
    return;
  }
  const auto& peer = getPeer();
  getPieceStorage()->subtractPieceStats(peer->getBitfield(), peer->getBitfieldLength());
  peer->setAllBitfield();
  getPieceStorage()->addPieceStats(peer->getBitfield(), peer->getBitfieldLength());
  checkSeeder();
}

void BtHaveNoneMessage::doReceivedAction() {
  checkFastExtension(FAST_DISABLED);
}

}  // namespace quarn
