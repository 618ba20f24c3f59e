#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "bittorrent/ExtensionMessage.h"

namespace quarn {

class Peer;
class PeerStorage;

// Peer exchange: tells a peer which members of the swarm were lately
// connected ("added") or dropped, and hands such lists received from a peer
// to the torrent's peer storage.
class UTPexExtensionMessage : public ExtensionMessage {
 public:
  static constexpr const char EXTENSION_NAME[] = "ut_pex";
  static constexpr size_t DEFAULT_MAX_FRESH_PEER = 50;
  static constexpr size_t DEFAULT_MAX_DROPPED_PEER = 50;

  explicit UTPexExtensionMessage(uint8_t extensionMessageID);
  ~UTPexExtensionMessage() override;

  std::string getPayload() override;
  uint8_t getExtensionMessageID() const override { return extensionMessageID_; }
  const char* getExtensionName() const override { return EXTENSION_NAME; }
  std::string toString() const override;
  void doReceivedAction() override;

  // data starts at the extended message id.
  static std::unique_ptr<UTPexExtensionMessage> create(const unsigned char* data, size_t length);

  // Refuse peers that connected to us (their port is no listening one) and
  // peers that were seen, or dropped, too long ago.
  bool addFreshPeer(const std::shared_ptr<Peer>& peer);
  bool addDroppedPeer(const std::shared_ptr<Peer>& peer);
  bool freshPeersAreFull() const { return freshPeers_.size() >= maxFreshPeer_; }
  bool droppedPeersAreFull() const { return droppedPeers_.size() >= maxDroppedPeer_; }
  const std::vector<std::shared_ptr<Peer>>& getFreshPeers() const { return freshPeers_; }
  const std::vector<std::shared_ptr<Peer>>& getDroppedPeers() const { return droppedPeers_; }
  void setMaxFreshPeer(size_t n) { maxFreshPeer_ = n; }
  void setMaxDroppedPeer(size_t n) { maxDroppedPeer_ = n; }
  void setPeerStorage(PeerStorage* storage) { peerStorage_ = storage; }

 private:
  uint8_t extensionMessageID_;
  std::vector<std::shared_ptr<Peer>> freshPeers_;
  std::vector<std::shared_ptr<Peer>> droppedPeers_;
  PeerStorage* peerStorage_ = nullptr;
  std::chrono::seconds interval_{60};
  size_t maxFreshPeer_ = DEFAULT_MAX_FRESH_PEER;
  size_t maxDroppedPeer_ = DEFAULT_MAX_DROPPED_PEER;
};

}  // namespace quarn
