#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "bittorrent/AnnounceList.h"
#include "bittorrent/BtAnnounce.h"
#include "foundation/Timer.h"

namespace quarn {

class BtRuntime;
class DownloadContext;
class Option;
class Peer;
class PeerStorage;
class PieceStorage;
class Randomizer;
class ValueBase;

// The announcer of one torrent over its AnnounceList.
class DefaultBtAnnounce : public BtAnnounce {
 public:
  DefaultBtAnnounce(DownloadContext* downloadContext, const Option* option);
  ~DefaultBtAnnounce() override;

  bool isAnnounceReady() override;
  std::string getAnnounceUrl() override;
  std::shared_ptr<UDPTrackerRequest> createUDPTrackerRequest(const std::string& remoteAddr,
                                                             uint16_t remotePort,
                                                             uint16_t localPort) override;
  void announceStart() override { ++trackers_; }
  void announceSuccess() override;
  void announceFailure() override;
  bool isAllAnnounceFailed() override { return announceList_.allTiersFailed(); }
  void resetAnnounce() override;
  void processAnnounceResponse(const unsigned char* data, size_t length) override;
  void processUDPTrackerResponse(const std::shared_ptr<UDPTrackerRequest>& request) override;
  bool noMoreAnnounce() override;
  void shuffleAnnounce() override { announceList_.shuffle(); }
  void overrideMinInterval(std::chrono::seconds interval) override { minInterval_ = interval; }
  void setTcpPort(uint16_t port) override { tcpPort_ = port; }

  bool isStoppedAnnounceReady();
  bool isCompletedAnnounceReady();
  bool isDefaultAnnounceReady();

  void setRandomizer(Randomizer* randomizer) { randomizer_ = randomizer; }
  void setBtRuntime(std::shared_ptr<BtRuntime> btRuntime) { btRuntime_ = std::move(btRuntime); }
  void setPieceStorage(std::shared_ptr<PieceStorage> pieceStorage) {
    pieceStorage_ = std::move(pieceStorage);
  }
  void setPeerStorage(std::shared_ptr<PeerStorage> peerStorage) {
    peerStorage_ = std::move(peerStorage);
  }
  void setUserDefinedInterval(std::chrono::seconds interval) { userDefinedInterval_ = interval; }

  std::chrono::seconds getInterval() const { return interval_; }
  std::chrono::seconds getMinInterval() const { return minInterval_; }
  int32_t getComplete() const { return complete_; }
  int32_t getIncomplete() const { return incomplete_; }
  const std::string& getTrackerID() const { return trackerId_; }
  AnnounceList& getAnnounceList() { return announceList_; }

 private:
  // Chooses the event and the tier; false when no announce is due.
  bool adjustAnnounceList();
  bool peerHungry() const;
  int32_t numWant() const { return peerHungry() ? 50 : 0; }
  int64_t left() const;
  void readIntervals(const ValueBase* reply);
  void addPeers(const ValueBase* peers, int family);

  DownloadContext* downloadContext_;
  const Option* option_;
  int32_t trackers_ = 0;
  Timer prevAnnounceTimer_ = Timer::zero();
  std::chrono::seconds interval_{DEFAULT_INTERVAL};
  std::chrono::seconds minInterval_{DEFAULT_INTERVAL};
  std::chrono::seconds userDefinedInterval_{0};
  int32_t complete_ = 0;
  int32_t incomplete_ = 0;
  AnnounceList announceList_;
  std::string trackerId_;
  Randomizer* randomizer_;
  std::shared_ptr<BtRuntime> btRuntime_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  std::shared_ptr<PeerStorage> peerStorage_;
  uint16_t tcpPort_ = 0;

  static constexpr int DEFAULT_INTERVAL = 120;
};

}  // namespace quarn
