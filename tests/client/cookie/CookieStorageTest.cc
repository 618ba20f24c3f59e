#include "client/cookie/CookieStorage.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace quarn {
namespace {

constexpr int64_t NOW = 1000000000;
constexpr int64_t FOREVER = std::numeric_limits<int64_t>::max();

std::unique_ptr<Cookie> makeCookie(const std::string& name, const std::string& value,
                                   const std::string& domain, bool hostOnly,
                                   const std::string& path, int64_t creation,
                                   int64_t expiry = FOREVER) {
  return std::make_unique<Cookie>(name, value, expiry, expiry != FOREVER, domain, hostOnly, path,
                                  false, false, creation);
}

std::string names(const std::vector<const Cookie*>& cookies) {
  std::string out;
  for (const Cookie* c : cookies) {
    out += c->toString() + ";";
  }
  return out;
}

TEST(CookieStorageTest, FindsDomainAndHostCookiesInPathOrder) {
  CookieStorage st;
  ASSERT_TRUE(st.store(makeCookie("dom", "1", "alpha.beta", false, "/", NOW), NOW));
  ASSERT_TRUE(st.store(makeCookie("host", "2", "host.alpha.beta", true, "/", NOW - 10), NOW));
  ASSERT_TRUE(st.store(makeCookie("deep", "3", "alpha.beta", false, "/a/b", NOW + 10), NOW));
  ASSERT_TRUE(st.store(makeCookie("other", "4", "other.beta", false, "/", NOW), NOW));
  EXPECT_EQ("deep=3;host=2;dom=1;",
            names(st.criteriaFind("host.alpha.beta", "/a/b/c", NOW, false)));
  EXPECT_EQ("host=2;dom=1;", names(st.criteriaFind("host.alpha.beta", "/", NOW, false)));
  EXPECT_EQ("dom=1;", names(st.criteriaFind("x.alpha.beta", "/", NOW, false)));
  EXPECT_EQ("", names(st.criteriaFind("host.alpha.beta", "", NOW, false)));
  EXPECT_EQ(4u, st.size());
  EXPECT_EQ(3u, st.getLruTrackerSize());
}

TEST(CookieStorageTest, SendingStampsLastAccess) {
  CookieStorage st;
  st.store(makeCookie("a", "1", "h.example", true, "/", NOW), NOW);
  auto found = st.criteriaFind("h.example", "/", NOW + 50, false);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ(NOW + 50, found[0]->getLastAccessTime());
}

TEST(CookieStorageTest, ReplaceKeepsCreationTime) {
  CookieStorage st;
  st.store(makeCookie("a", "old", "h.example", true, "/", NOW), NOW);
  EXPECT_TRUE(st.store(makeCookie("a", "new", "h.example", true, "/", NOW + 100), NOW + 100));
  auto found = st.criteriaFind("h.example", "/", NOW + 100, false);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("new", found[0]->getValue());
  EXPECT_EQ(NOW, found[0]->getCreationTime());
}

TEST(CookieStorageTest, PastExpiryDeletes) {
  CookieStorage st;
  ASSERT_TRUE(st.parseAndStore("a=b", "h.example", "/", NOW));
  Cookie probe("a", "", 0, false, "h.example", true, "/", false, false, NOW);
  EXPECT_TRUE(st.contains(probe));
  EXPECT_FALSE(st.parseAndStore("a=b; Max-Age=0", "h.example", "/", NOW + 1));
  EXPECT_FALSE(st.contains(probe));
  EXPECT_EQ(0u, st.size());
  EXPECT_FALSE(st.parseAndStore("c=d; Max-Age=0", "new.example", "/", NOW));
  EXPECT_FALSE(st.parseAndStore("garbage", "h.example", "/", NOW));
}

TEST(CookieStorageTest, FullNodeSweepsExpiredThenLeastRecentlySent) {
  CookieStorage st;
  for (int i = 0; i < 50; ++i) {
    int64_t expiry = i == 7 ? NOW + 5 : FOREVER;
    st.store(makeCookie("c" + std::to_string(i), "v", "h.example", true, "/", NOW, expiry), NOW);
  }
  // Cookie 7 has expired by then and makes room.
  EXPECT_TRUE(st.store(makeCookie("new1", "v", "h.example", true, "/", NOW), NOW + 10));
  Cookie c7("c7", "", 0, false, "h.example", true, "/", false, false, NOW);
  EXPECT_FALSE(st.contains(c7));
  EXPECT_EQ(50u, st.size());
  // Everything but c3 is sent later; c3 is then the least recently sent.
  st.criteriaFind("h.example", "/", NOW + 20, false);
  for (const Cookie* c : st.criteriaFind("h.example", "/", NOW + 20, false)) {
    const_cast<Cookie*>(c)->setLastAccessTime(c->getName() == "c3" ? NOW : NOW + 20);
  }
  EXPECT_TRUE(st.store(makeCookie("new2", "v", "h.example", true, "/", NOW), NOW + 30));
  Cookie c3("c3", "", 0, false, "h.example", true, "/", false, false, NOW);
  EXPECT_FALSE(st.contains(c3));
  EXPECT_EQ(50u, st.size());
}

TEST(CookieStorageTest, NumericHostIsOneNode) {
  CookieStorage st;
  st.store(makeCookie("a", "1", "192.0.2.1", true, "/", NOW), NOW);
  const DomainNode* root = st.getRootNode();
  ASSERT_TRUE(root->findNext("192.0.2.1"));
  EXPECT_FALSE(root->findNext("1"));
  EXPECT_EQ("a=1;", names(st.criteriaFind("192.0.2.1", "/", NOW, false)));
}

TEST(CookieStorageTest, EvictsLeastRecentlyUsedTenth) {
  CookieStorage st;
  for (int i = 0; i < 2000; ++i) {
    st.store(makeCookie("a", "1", "h" + std::to_string(i) + ".example", true, "/", NOW), NOW + i);
  }
  EXPECT_EQ(2000u, st.getLruTrackerSize());
  st.store(makeCookie("a", "1", "fresh.example", true, "/", NOW), NOW + 5000);
  EXPECT_EQ(1801u, st.getLruTrackerSize());
  EXPECT_EQ(1801u, st.size());
  EXPECT_TRUE(st.criteriaFind("h199.example", "/", NOW + 5000, false).empty());
  EXPECT_FALSE(st.criteriaFind("h200.example", "/", NOW + 5000, false).empty());
  // Empty branches were pruned; the shared "example" node stays.
  const DomainNode* example = st.getRootNode()->findNext("example");
  ASSERT_TRUE(example);
  EXPECT_FALSE(example->findNext("h0"));
}

TEST(CookieStorageTest, EvictionPrunesEmptyAncestors) {
  CookieStorage st;
  st.store(makeCookie("a", "1", "x.y.z", true, "/", NOW), NOW);
  st.store(makeCookie("a", "1", "keep", true, "/", NOW), NOW + 1);
  st.evictNode(1);
  EXPECT_FALSE(st.getRootNode()->findNext("z"));
  EXPECT_TRUE(st.getRootNode()->findNext("keep"));
  EXPECT_EQ(1u, st.getLruTrackerSize());
}

}  // namespace
}  // namespace quarn
