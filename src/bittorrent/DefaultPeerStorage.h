#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "bittorrent/BtLeecherStateChoke.h"
#include "bittorrent/BtSeederStateChoke.h"
#include "bittorrent/PeerStorage.h"
#include "foundation/Timer.h"

namespace quarn {

class BtRuntime;
class PieceStorage;

class DefaultPeerStorage : public PeerStorage {
 public:
  static constexpr size_t MAX_UNUSED_PEERS = 512;
  static constexpr size_t MAX_DROPPED_PEERS = 50;

  DefaultPeerStorage();
  ~DefaultPeerStorage() override;

  bool addPeer(const std::shared_ptr<Peer>& peer) override;
  void addPeer(const std::vector<std::shared_ptr<Peer>>& peers) override;
  std::shared_ptr<Peer> addAndCheckoutPeer(const std::shared_ptr<Peer>& peer,
                                           int64_t cuid) override;
  size_t countAllPeer() const override { return unusedPeers_.size() + usedPeers_.size(); }
  const std::deque<std::shared_ptr<Peer>>& getDroppedPeers() override { return droppedPeers_; }
  bool isPeerAvailable() override { return !unusedPeers_.empty(); }
  const std::set<std::shared_ptr<Peer>>& getUsedPeers() override { return usedPeers_; }
  bool isBadPeer(const std::string& ipaddr) override;
  void addBadPeer(const std::string& ipaddr) override;
  std::shared_ptr<Peer> checkoutPeer(int64_t cuid) override;
  void returnPeer(const std::shared_ptr<Peer>& peer) override;
  bool chokeRoundIntervalElapsed() override;
  void executeChoke() override;

  const std::deque<std::shared_ptr<Peer>>& getUnusedPeers() const { return unusedPeers_; }
  void setPieceStorage(std::shared_ptr<PieceStorage> pieceStorage) {
    pieceStorage_ = std::move(pieceStorage);
  }
  void setBtRuntime(std::shared_ptr<BtRuntime> runtime) { btRuntime_ = std::move(runtime); }

 private:
  using Key = std::pair<std::string, uint16_t>;
  static Key keyOf(const Peer& peer);
  // Why the peer cannot be added (a DEBUG line), or null.
  const char* rejection(const Peer& peer);
  void append(const std::shared_ptr<Peer>& peer);
  void addDroppedPeer(const std::shared_ptr<Peer>& peer);
  bool downloadFinished() const;

  std::shared_ptr<BtRuntime> btRuntime_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  std::set<Key> uniquePeers_;
  std::deque<std::shared_ptr<Peer>> unusedPeers_;
  std::set<std::shared_ptr<Peer>> usedPeers_;
  std::deque<std::shared_ptr<Peer>> droppedPeers_;
  BtSeederStateChoke seederStateChoke_;
  BtLeecherStateChoke leecherStateChoke_;
  std::map<std::string, Timer> badPeers_;
  Timer lastBadPeerCleaned_;
};

}  // namespace quarn
