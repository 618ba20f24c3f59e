#include "bittorrent/AnnounceList.h"

#include <algorithm>

#include "foundation/SimpleRandomizer.h"

namespace quarn {

namespace {

bool stoppedAllowed(AnnounceTier::AnnounceEvent event) {
  return event >= AnnounceTier::DOWNLOADING && event <= AnnounceTier::SEEDING;
}

bool completedAllowed(AnnounceTier::AnnounceEvent event) {
  return event == AnnounceTier::DOWNLOADING || event == AnnounceTier::COMPLETED;
}

}  // namespace

AnnounceList::AnnounceList(const std::vector<std::vector<std::string>>& announceList) {
  reconfigure(announceList);
}

AnnounceList::AnnounceList(const std::deque<std::shared_ptr<AnnounceTier>>& tiers) : tiers_(tiers) {
  resetIterator();
}

void AnnounceList::reconfigure(const std::vector<std::vector<std::string>>& announceList) {
  for (const auto& urls : announceList) {
    if (!urls.empty()) {
      tiers_.push_back(
          std::make_shared<AnnounceTier>(std::deque<std::string>(urls.begin(), urls.end())));
    }
  }
  resetIterator();
}

void AnnounceList::reconfigure(const std::string& url) {
  tiers_.push_back(std::make_shared<AnnounceTier>(std::deque<std::string>{url}));
  resetIterator();
}

void AnnounceList::resetIterator() {
  currentTier_ = 0;
  currentTracker_ = 0;
  currentTrackerInitialized_ = !tiers_.empty() && !tiers_.front()->urls.empty();
}

std::string AnnounceList::getAnnounce() const {
  return currentTrackerInitialized_ ? tiers_[currentTier_]->urls[currentTracker_] : "";
}

void AnnounceList::announceSuccess() {
  if (!currentTrackerInitialized_) {
    return;
  }
  auto& tier = *tiers_[currentTier_];
  tier.nextEvent();
  std::string url = tier.urls[currentTracker_];
  tier.urls.erase(tier.urls.begin() + static_cast<std::ptrdiff_t>(currentTracker_));
  tier.urls.push_front(std::move(url));
  currentTier_ = 0;
  currentTracker_ = 0;
}

void AnnounceList::announceFailure() {
  if (!currentTrackerInitialized_) {
    return;
  }
  if (++currentTracker_ < tiers_[currentTier_]->urls.size()) {
    return;
  }
  tiers_[currentTier_]->nextEventIfAfterStarted();
  currentTracker_ = 0;
  if (++currentTier_ >= tiers_.size()) {
    currentTrackerInitialized_ = false;
  }
}

AnnounceTier::AnnounceEvent AnnounceList::getEvent() const {
  return currentTrackerInitialized_ ? tiers_[currentTier_]->event : AnnounceTier::STARTED;
}

void AnnounceList::setEvent(AnnounceTier::AnnounceEvent event) {
  if (currentTrackerInitialized_) {
    tiers_[currentTier_]->event = event;
  }
}

std::string AnnounceList::getEventString() const {
  if (!currentTrackerInitialized_) {
    return "";
  }
  switch (getEvent()) {
    case AnnounceTier::STARTED:
    case AnnounceTier::STARTED_AFTER_COMPLETION:
      return "started";
    case AnnounceTier::STOPPED:
      return "stopped";
    case AnnounceTier::COMPLETED:
      return "completed";
    default:
      return "";
  }
}

size_t AnnounceList::countStoppedAllowedTier() const {
  return std::count_if(tiers_.begin(), tiers_.end(),
                       [](const auto& tier) { return stoppedAllowed(tier->event); });
}

size_t AnnounceList::countCompletedAllowedTier() const {
  return std::count_if(tiers_.begin(), tiers_.end(),
                       [](const auto& tier) { return completedAllowed(tier->event); });
}

bool AnnounceList::currentTierAcceptsStoppedEvent() const {
  return currentTrackerInitialized_ && stoppedAllowed(tiers_[currentTier_]->event);
}

bool AnnounceList::currentTierAcceptsCompletedEvent() const {
  return currentTrackerInitialized_ && completedAllowed(tiers_[currentTier_]->event);
}

template <typename Predicate>
void AnnounceList::moveToAllowedTier(Predicate allowed) {
  auto isAllowed = [&](const auto& tier) { return allowed(tier->event); };
  const auto current =
      tiers_.begin() + static_cast<std::ptrdiff_t>(std::min(currentTier_, tiers_.size()));
  auto found = std::find_if(current, tiers_.end(), isAllowed);
  if (found == tiers_.end()) {
    // Not found before the current tier either: the current one restarts.
    found = std::find_if(tiers_.begin(), current, isAllowed);
  }
  setCurrentTier(static_cast<size_t>(found - tiers_.begin()));
}

void AnnounceList::moveToStoppedAllowedTier() {
  moveToAllowedTier(stoppedAllowed);
}

void AnnounceList::moveToCompletedAllowedTier() {
  moveToAllowedTier(completedAllowed);
}

void AnnounceList::setCurrentTier(size_t tier) {
  if (tier < tiers_.size()) {
    currentTier_ = tier;
    currentTracker_ = 0;
  }
}

void AnnounceList::shuffle() {
  for (auto& tier : tiers_) {
    std::shuffle(tier->urls.begin(), tier->urls.end(), *SimpleRandomizer::getInstance());
  }
}

}  // namespace quarn
