#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "bittorrent/PeerSessionResource.h"
#include "foundation/Timer.h"

namespace quarn {

class BtMessageDispatcher;

// One member of a torrent's swarm as this side knows it. While a connection
// to it is live the peer holds a session resource (it is "active"); the
// session operations below need one, and calling them without is a
// programming error.
class Peer {
 public:
  Peer(std::string ipaddr, uint16_t port, bool incoming = false);

  const std::string& getIPAddress() const { return ipaddr_; }
  uint16_t getPort() const { return port_; }
  void setPort(uint16_t port) { port_ = port; }
  // With the address, identifies the peer in the peer storage.
  uint16_t getOrigPort() const { return origPort_; }
  int64_t usedBy() const { return cuid_; }
  void usedBy(int64_t cuid) { cuid_ = cuid; }
  // 20 bytes; zero until the peer's handshake tells them.
  const unsigned char* getPeerId() const { return peerId_; }
  void setPeerId(const unsigned char* peerId);
  const Timer& getFirstContactTime() const { return firstContactTime_; }
  void setFirstContactTime(const Timer& time) { firstContactTime_ = time; }
  const Timer& getDropStartTime() const { return dropStartTime_; }
  void startDrop();
  bool isSeeder() const { return seeder_; }
  bool isIncomingPeer() const { return incoming_; }
  void setIncomingPeer(bool incoming) { incoming_ = incoming; }
  bool isLocalPeer() const { return localPeer_; }
  void setLocalPeer(bool local) { localPeer_ = local; }
  bool isDisconnectedGracefully() const { return disconnectedGracefully_; }
  void setDisconnectedGracefully(bool f) { disconnectedGracefully_ = f; }

  bool isActive() const { return res_ != nullptr; }
  void allocateSessionResource(int32_t pieceLength, int64_t totalLength);
  void reconfigureSessionResource(int32_t pieceLength, int64_t totalLength);
  void releaseSessionResource() { res_.reset(); }

  bool amChoking() const { return res().amChoking(); }
  void amChoking(bool b) { res().amChoking(b); }
  bool amInterested() const { return res().amInterested(); }
  void amInterested(bool b) { res().amInterested(b); }
  bool peerChoking() const { return res().peerChoking(); }
  void peerChoking(bool b) { res().peerChoking(b); }
  bool peerInterested() const { return res().peerInterested(); }
  void peerInterested(bool b) { res().peerInterested(b); }
  bool chokingRequired() const { return res().chokingRequired(); }
  void chokingRequired(bool b) { res().chokingRequired(b); }
  bool optUnchoking() const { return res().optUnchoking(); }
  void optUnchoking(bool b) { res().optUnchoking(b); }
  bool snubbing() const { return res().snubbing(); }
  void snubbing(bool b) { res().snubbing(b); }
  bool shouldBeChoking() const { return res().shouldBeChoking(); }

  const unsigned char* getBitfield() const { return res().bitfield().getBitfield(); }
  size_t getBitfieldLength() const { return res().bitfield().getBitfieldLength(); }
  bool hasPiece(size_t index) const { return res().bitfield().isBitSet(index); }
  // Ignored unless length is the bitfield's length.
  void setBitfield(const unsigned char* bitfield, size_t length);
  // operation 1 sets the bit, 0 clears it, anything else changes nothing.
  void updateBitfield(size_t index, int operation);
  void setAllBitfield();
  int64_t getCompletedLength() const { return res().bitfield().getCompletedLength(); }

  void setFastExtensionEnabled(bool b) { res().fastExtensionEnabled(b); }
  bool isFastExtensionEnabled() const { return res().fastExtensionEnabled(); }
  void addPeerAllowedIndex(size_t index) { res().peerAllowedIndexSet().insert(index); }
  bool isInPeerAllowedIndexSet(size_t index) const;
  const std::set<size_t>& getPeerAllowedIndexSet() const { return res().peerAllowedIndexSet(); }
  size_t countPeerAllowedIndexSet() const { return res().peerAllowedIndexSet().size(); }
  void addAmAllowedIndex(size_t index) { res().amAllowedIndexSet().insert(index); }
  bool isInAmAllowedIndexSet(size_t index) const;

  void setExtendedMessagingEnabled(bool b) { res().extendedMessagingEnabled(b); }
  bool isExtendedMessagingEnabled() const { return res().extendedMessagingEnabled(); }
  uint8_t getExtensionMessageID(int key) const;
  const char* getExtensionName(uint8_t id) const;
  void setExtension(int key, uint8_t id);

  void setDHTEnabled(bool b) { res().dhtEnabled(b); }
  bool isDHTEnabled() const { return res().dhtEnabled(); }

  void updateDownload(size_t bytes) { res().updateDownload(bytes); }
  void updateUploadSpeed(size_t bytes) { res().netStat().updateUploadSpeed(bytes); }
  void updateUploadLength(size_t bytes) { res().netStat().updateUploadLength(bytes); }
  int32_t calculateDownloadSpeed() { return res().netStat().calculateDownloadSpeed(); }
  int32_t calculateUploadSpeed() { return res().netStat().calculateUploadSpeed(); }
  int64_t getSessionDownloadLength() const { return res().netStat().getSessionDownloadLength(); }
  int64_t getSessionUploadLength() const { return res().netStat().getSessionUploadLength(); }
  const Timer& getLastDownloadUpdate() const { return res().getLastDownloadUpdate(); }
  const Timer& getLastAmUnchoking() const { return res().getLastAmUnchoking(); }

  void setBtMessageDispatcher(BtMessageDispatcher* dispatcher);
  // The piece messages queued for the peer; needs the dispatcher.
  size_t countOutstandingUpload() const;

 private:
  PeerSessionResource& res() const;
  void updateSeeder();

  std::string ipaddr_;
  uint16_t port_;
  uint16_t origPort_;
  int64_t cuid_ = 0;
  unsigned char peerId_[20] = {};
  Timer firstContactTime_;
  Timer dropStartTime_ = Timer::zero();
  bool seeder_ = false;
  std::unique_ptr<PeerSessionResource> res_;
  bool incoming_;
  bool localPeer_ = false;
  bool disconnectedGracefully_ = false;
};

// The active seeders among [first, last) of shared peers.
template <typename InputIterator>
size_t countSeeder(InputIterator first, InputIterator last) {
  size_t n = 0;
  for (; first != last; ++first) {
    if ((*first)->isActive() && (*first)->isSeeder()) {
      ++n;
    }
  }
  return n;
}

}  // namespace quarn
