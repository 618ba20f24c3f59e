#include "net/DNSCache.h"

#include <gtest/gtest.h>

namespace quarn {

TEST(DNSCacheTest, FirstGoodAddressInInsertionOrderAndNoDuplicates) {
  DNSCache cache;
  cache.put("h", "P", 80);
  cache.put("h", "Q", 80);
  cache.put("h", "P", 80);
  EXPECT_EQ("P", cache.find("h", 80));

  DNSCache::CacheEntry entry("h", 80);
  EXPECT_TRUE(entry.add("P"));
  EXPECT_TRUE(entry.add("Q"));
  EXPECT_FALSE(entry.add("P"));
  EXPECT_EQ(2u, entry.getAddrEntries().size());
}

TEST(DNSCacheTest, BadAddressesAreSkippedAndNeverRevived) {
  DNSCache cache;
  cache.put("h", "P", 80);
  cache.put("h", "Q", 80);
  cache.markBad("h", "P", 80);
  EXPECT_EQ("Q", cache.find("h", 80));
  cache.markBad("h", "Q", 80);
  EXPECT_EQ("", cache.find("h", 80));
  cache.put("h", "P", 80);
  EXPECT_EQ("", cache.find("h", 80));

  cache.remove("h", 80);
  cache.put("h", "P", 80);
  EXPECT_EQ("P", cache.find("h", 80));
}

TEST(DNSCacheTest, EntriesAreKeyedByExactHostAndPort) {
  DNSCache cache;
  cache.put("h", "A", 80);
  cache.put("h", "B", 443);
  cache.put("H", "C", 80);
  EXPECT_EQ("A", cache.find("h", 80));
  EXPECT_EQ("B", cache.find("h", 443));
  EXPECT_EQ("C", cache.find("H", 80));
  cache.remove("h", 80);
  EXPECT_EQ("", cache.find("h", 80));
  EXPECT_EQ("B", cache.find("h", 443));
}

TEST(DNSCacheTest, UnknownHostsAreHarmless) {
  DNSCache cache;
  cache.markBad("nowhere", "A", 80);
  cache.remove("nowhere", 80);
  EXPECT_EQ("", cache.find("nowhere", 80));
}

TEST(DNSCacheTest, CopiesShareEntries) {
  DNSCache cache;
  cache.put("h", "A", 80);
  DNSCache copy = cache;
  copy.markBad("h", "A", 80);
  EXPECT_EQ("", cache.find("h", 80));
}

}  // namespace quarn
