#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "bittorrent/AnnounceTier.h"

namespace quarn {

// Walks one torrent's tracker tiers: the URL to announce to next, rotation
// through URLs and tiers on failure, the URL that answered moved to the front
// of its tier, and the event each tier still has to receive. While no URL is
// current (no tiers, or every tier failed) the operations on the current
// tier do nothing.
class AnnounceList {
 public:
  AnnounceList() = default;
  explicit AnnounceList(const std::vector<std::vector<std::string>>& announceList);
  explicit AnnounceList(const std::deque<std::shared_ptr<AnnounceTier>>& tiers);

  // Appends a tier per non-empty list, then restarts from the first tier.
  void reconfigure(const std::vector<std::vector<std::string>>& announceList);
  void reconfigure(const std::string& url);

  void resetIterator();
  void resetTier() { resetIterator(); }
  // Empty when no URL is current.
  std::string getAnnounce() const;
  void announceSuccess();
  void announceFailure();
  AnnounceTier::AnnounceEvent getEvent() const;
  void setEvent(AnnounceTier::AnnounceEvent event);
  // "started", "stopped", "completed" or empty.
  std::string getEventString() const;

  size_t countStoppedAllowedTier() const;
  size_t countCompletedAllowedTier() const;
  bool currentTierAcceptsStoppedEvent() const;
  bool currentTierAcceptsCompletedEvent() const;
  void moveToStoppedAllowedTier();
  void moveToCompletedAllowedTier();
  void setCurrentTier(size_t tier);

  // Shuffles the URLs inside each tier; the tiers keep their order.
  void shuffle();
  bool allTiersFailed() const { return currentTier_ >= tiers_.size(); }
  size_t countTier() const { return tiers_.size(); }
  const std::deque<std::shared_ptr<AnnounceTier>>& getTiers() const { return tiers_; }

 private:
  template <typename Predicate>
  void moveToAllowedTier(Predicate allowed);

  std::deque<std::shared_ptr<AnnounceTier>> tiers_;
  size_t currentTier_ = 0;
  size_t currentTracker_ = 0;
  bool currentTrackerInitialized_ = false;
};

}  // namespace quarn
