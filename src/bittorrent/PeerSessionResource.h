#pragma once

#include <cstddef>
#include <cstdint>
#include <set>

#include "bittorrent/ExtensionMessageRegistry.h"
#include "foundation/Timer.h"
#include "storage/BitfieldMan.h"
#include "storage/NetStat.h"

namespace quarn {

class BtMessageDispatcher;

// The state of one live connection to a peer: choke and interest in both
// directions, the peer's pieces, the Fast-extension sets, the peer's
// extension ids and the connection's statistics.
class PeerSessionResource {
 public:
  PeerSessionResource(int32_t pieceLength, int64_t totalLength);

  bool amChoking() const { return amChoking_; }
  // Unchoking also stamps the time of the unchoke.
  void amChoking(bool b);
  bool amInterested() const { return amInterested_; }
  void amInterested(bool b) { amInterested_ = b; }
  bool peerChoking() const { return peerChoking_; }
  void peerChoking(bool b) { peerChoking_ = b; }
  bool peerInterested() const { return peerInterested_; }
  void peerInterested(bool b) { peerInterested_ = b; }
  bool chokingRequired() const { return chokingRequired_; }
  void chokingRequired(bool b) { chokingRequired_ = b; }
  bool optUnchoking() const { return optUnchoking_; }
  void optUnchoking(bool b) { optUnchoking_ = b; }
  bool snubbing() const { return snubbing_; }
  // A snubbing peer must be choked and loses the optimistic unchoke.
  void snubbing(bool b);
  bool shouldBeChoking() const { return chokingRequired_ && !optUnchoking_; }

  BitfieldMan& bitfield() { return bitfield_; }
  const BitfieldMan& bitfield() const { return bitfield_; }
  // A new, empty bitfield of another geometry; everything else is kept.
  void reconfigure(int32_t pieceLength, int64_t totalLength);

  bool fastExtensionEnabled() const { return fastExtensionEnabled_; }
  void fastExtensionEnabled(bool b) { fastExtensionEnabled_ = b; }
  bool extendedMessagingEnabled() const { return extendedMessagingEnabled_; }
  void extendedMessagingEnabled(bool b) { extendedMessagingEnabled_ = b; }
  bool dhtEnabled() const { return dhtEnabled_; }
  void dhtEnabled(bool b) { dhtEnabled_ = b; }

  std::set<size_t>& amAllowedIndexSet() { return amAllowedIndexSet_; }
  std::set<size_t>& peerAllowedIndexSet() { return peerAllowedIndexSet_; }
  ExtensionMessageRegistry& extensionRegistry() { return extensionRegistry_; }

  NetStat& netStat() { return netStat_; }
  // Counts received bytes and stamps the time of the last block.
  void updateDownload(size_t bytes);
  const Timer& getLastDownloadUpdate() const { return lastDownloadUpdate_; }
  const Timer& getLastAmUnchoking() const { return lastAmUnchoking_; }

  BtMessageDispatcher* getBtMessageDispatcher() const { return dispatcher_; }
  void setBtMessageDispatcher(BtMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }

 private:
  BitfieldMan bitfield_;
  bool amChoking_ = true;
  bool amInterested_ = false;
  bool peerChoking_ = true;
  bool peerInterested_ = false;
  bool chokingRequired_ = true;
  bool optUnchoking_ = false;
  bool snubbing_ = false;
  bool fastExtensionEnabled_ = false;
  bool extendedMessagingEnabled_ = false;
  bool dhtEnabled_ = false;
  std::set<size_t> amAllowedIndexSet_;
  std::set<size_t> peerAllowedIndexSet_;
  ExtensionMessageRegistry extensionRegistry_;
  NetStat netStat_;
  Timer lastDownloadUpdate_ = Timer::zero();
  Timer lastAmUnchoking_ = Timer::zero();
  BtMessageDispatcher* dispatcher_ = nullptr;
};

}  // namespace quarn
