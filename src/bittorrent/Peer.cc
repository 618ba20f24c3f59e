#include "bittorrent/Peer.h"

#include <cassert>
#include <cstring>

#include "bittorrent/BtMessageDispatcher.h"
#include "foundation/wallclock.h"

namespace quarn {

Peer::Peer(std::string ipaddr, uint16_t port, bool incoming)
    : ipaddr_(std::move(ipaddr)),
      port_(port),
      origPort_(port),
      firstContactTime_(global::wallclock()),
      incoming_(incoming) {}

PeerSessionResource& Peer::res() const {
  assert(res_ && "the peer has no live session");
  return *res_;
}

void Peer::setPeerId(const unsigned char* peerId) {
  std::memcpy(peerId_, peerId, sizeof(peerId_));
}

void Peer::startDrop() {
  dropStartTime_ = global::wallclock();
}

void Peer::allocateSessionResource(int32_t pieceLength, int64_t totalLength) {
  res_ = std::make_unique<PeerSessionResource>(pieceLength, totalLength);
  updateSeeder();
}

void Peer::reconfigureSessionResource(int32_t pieceLength, int64_t totalLength) {
  res().reconfigure(pieceLength, totalLength);
}

void Peer::updateSeeder() {
  seeder_ = res().bitfield().isAllBitSet();
}

void Peer::setBitfield(const unsigned char* bitfield, size_t length) {
  res().bitfield().setBitfield(bitfield, length);
  updateSeeder();
}

void Peer::updateBitfield(size_t index, int operation) {
  if (operation == 1) {
    res().bitfield().setBit(index);
  } else if (operation == 0) {
    res().bitfield().unsetBit(index);
  }
  updateSeeder();
}

void Peer::setAllBitfield() {
  res().bitfield().setAllBit();
  updateSeeder();
}

bool Peer::isInPeerAllowedIndexSet(size_t index) const {
  return res().peerAllowedIndexSet().count(index) != 0;
}

bool Peer::isInAmAllowedIndexSet(size_t index) const {
  return res().amAllowedIndexSet().count(index) != 0;
}

uint8_t Peer::getExtensionMessageID(int key) const {
  return res().extensionRegistry().getExtensionMessageID(key);
}

const char* Peer::getExtensionName(uint8_t id) const {
  return res().extensionRegistry().getExtensionName(id);
}

void Peer::setExtension(int key, uint8_t id) {
  res().extensionRegistry().setExtensionMessageID(key, id);
}

void Peer::setBtMessageDispatcher(BtMessageDispatcher* dispatcher) {
  res().setBtMessageDispatcher(dispatcher);
}

size_t Peer::countOutstandingUpload() const {
  assert(res().getBtMessageDispatcher() && "the peer has no dispatcher");
  return res().getBtMessageDispatcher()->countOutstandingUpload();
}

}  // namespace quarn
