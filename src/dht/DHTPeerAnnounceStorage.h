#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quarn {

class DHTPeerAnnounceEntry;
class DHTTaskQueue;
class DHTTaskFactory;
class Peer;

// The peers other nodes announced to this node, by info hash. Addresses not
// announced again for 30 minutes are purged.
class DHTPeerAnnounceStorage {
 public:
  // Any host may announce any info hash, so the store keeps at most this many;
  // a new info hash then replaces the one announced least recently.
  static constexpr size_t MAX_INFO_HASHES = 1000;

  DHTPeerAnnounceStorage();
  ~DHTPeerAnnounceStorage();

  void addPeerAnnounce(const unsigned char* infoHash, const std::string& ipaddr, uint16_t port);
  void getPeers(std::vector<std::shared_ptr<Peer>>& peers, const unsigned char* infoHash) const;
  bool contains(const unsigned char* infoHash) const;
  size_t size() const { return entries_.size(); }
  // Drops stale addresses and the info hashes left without any.
  void handleTimeout();

  void setTaskQueue(DHTTaskQueue* taskQueue) { taskQueue_ = taskQueue; }
  void setTaskFactory(DHTTaskFactory* taskFactory) { taskFactory_ = taskFactory; }

 private:
  void evictOldest();

  // Keyed by the 20 info hash bytes, so ordered as unsigned numbers.
  std::map<std::string, std::shared_ptr<DHTPeerAnnounceEntry>> entries_;
  DHTTaskQueue* taskQueue_ = nullptr;
  DHTTaskFactory* taskFactory_ = nullptr;
};

}  // namespace quarn
