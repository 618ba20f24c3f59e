#include <gtest/gtest.h>

#include <algorithm>

#include "bittorrent/AnnounceList.h"

namespace quarn {
namespace {

using Tiers = std::vector<std::vector<std::string>>;

std::vector<std::string> urlsOf(const AnnounceTier& tier) {
  return {tier.urls.begin(), tier.urls.end()};
}

TEST(AnnounceListTest, EmptyListsDoNothing) {
  for (const Tiers& tiers : {Tiers{}, Tiers{{}, {}}}) {
    AnnounceList list(tiers);
    EXPECT_EQ(0u, list.countTier());
    EXPECT_EQ("", list.getAnnounce());
    EXPECT_EQ("", list.getEventString());
    EXPECT_EQ(AnnounceTier::STARTED, list.getEvent());
    EXPECT_TRUE(list.allTiersFailed());
    list.announceSuccess();
    list.announceFailure();
    list.setEvent(AnnounceTier::STOPPED);
    list.moveToStoppedAllowedTier();
    EXPECT_EQ(AnnounceTier::STARTED, list.getEvent());
  }
}

TEST(AnnounceListTest, SuccessMovesTheUrlToTheFrontOfItsTier) {
  AnnounceList list(Tiers{{"u1", "u2", "u3"}, {"v1"}});
  list.announceFailure();
  EXPECT_EQ("u2", list.getAnnounce());
  list.announceSuccess();
  EXPECT_EQ((std::vector<std::string>{"u2", "u1", "u3"}), urlsOf(*list.getTiers()[0]));
  EXPECT_EQ("u2", list.getAnnounce());
  EXPECT_EQ(AnnounceTier::DOWNLOADING, list.getEvent());
  EXPECT_EQ("", list.getEventString());
}

TEST(AnnounceListTest, FailuresWalkThroughTiersAndGiveUpEvents) {
  AnnounceList list(Tiers{{"u1"}, {"u2"}});
  list.setEvent(AnnounceTier::STOPPED);
  list.announceFailure();
  EXPECT_EQ("u2", list.getAnnounce());
  list.setEvent(AnnounceTier::COMPLETED);
  list.announceFailure();
  EXPECT_TRUE(list.allTiersFailed());
  EXPECT_EQ("", list.getAnnounce());
  EXPECT_EQ(AnnounceTier::HALTED, list.getTiers()[0]->event);
  EXPECT_EQ(AnnounceTier::SEEDING, list.getTiers()[1]->event);
  list.resetIterator();
  EXPECT_EQ("u1", list.getAnnounce());

  AnnounceList starting(Tiers{{"s"}});
  starting.announceFailure();
  EXPECT_EQ(AnnounceTier::STARTED, starting.getTiers()[0]->event);
}

TEST(AnnounceListTest, EventTexts) {
  const std::pair<AnnounceTier::AnnounceEvent, const char*> texts[] = {
      {AnnounceTier::STARTED, "started"},
      {AnnounceTier::STARTED_AFTER_COMPLETION, "started"},
      {AnnounceTier::DOWNLOADING, ""},
      {AnnounceTier::STOPPED, "stopped"},
      {AnnounceTier::COMPLETED, "completed"},
      {AnnounceTier::SEEDING, ""},
      {AnnounceTier::HALTED, ""},
  };
  AnnounceList list(Tiers{{"u"}});
  for (auto [event, text] : texts) {
    list.setEvent(event);
    EXPECT_EQ(text, list.getEventString()) << event;
  }
}

TEST(AnnounceListTest, MovesToTiersThatMayReceiveAnEvent) {
  AnnounceList list(Tiers{{"a"}, {"b1", "b2"}, {"c"}});
  list.getTiers()[2]->event = AnnounceTier::DOWNLOADING;
  list.moveToStoppedAllowedTier();
  EXPECT_EQ("c", list.getAnnounce());
  EXPECT_EQ(2u, list.countStoppedAllowedTier() + list.countCompletedAllowedTier());
  // Only an earlier tier qualifies: the search wraps around.
  list.getTiers()[2]->event = AnnounceTier::HALTED;
  list.getTiers()[0]->event = AnnounceTier::COMPLETED;
  list.moveToCompletedAllowedTier();
  EXPECT_EQ("a", list.getAnnounce());
  // None qualifies: the current tier restarts at its first URL.
  list.getTiers()[0]->event = AnnounceTier::HALTED;
  list.setCurrentTier(1);
  list.announceFailure();
  EXPECT_EQ("b2", list.getAnnounce());
  list.moveToStoppedAllowedTier();
  EXPECT_EQ("b1", list.getAnnounce());
  EXPECT_FALSE(list.currentTierAcceptsStoppedEvent());
}

TEST(AnnounceListTest, ShuffleKeepsTiers) {
  AnnounceList list(Tiers{{"a1", "a2", "a3", "a4"}, {"b"}});
  list.shuffle();
  ASSERT_EQ(2u, list.countTier());
  auto first = urlsOf(*list.getTiers()[0]);
  std::sort(first.begin(), first.end());
  EXPECT_EQ((std::vector<std::string>{"a1", "a2", "a3", "a4"}), first);
  EXPECT_EQ(std::vector<std::string>{"b"}, urlsOf(*list.getTiers()[1]));
}

}  // namespace
}  // namespace quarn
