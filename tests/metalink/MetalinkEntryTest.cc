#include "metalink/MetalinkEntry.h"

#include <gtest/gtest.h>

#include <limits>

#include "metalink/MetalinkMetaurl.h"
#include "metalink/MetalinkResource.h"
#include "metalink/Metalinker.h"
#include "metalink/metalink_helper.h"
#include "storage/FileEntry.h"

namespace quarn {

namespace {

std::unique_ptr<MetalinkResource> resource(const std::string& url, MetalinkResource::TYPE type,
                                           int32_t priority, const std::string& location = "") {
  auto r = std::make_unique<MetalinkResource>();
  r->url = url;
  r->type = type;
  r->priority = priority;
  r->location = location;
  return r;
}

std::unique_ptr<MetalinkEntry> entry(const std::string& path, const std::string& version = "",
                                     std::vector<std::string> languages = {},
                                     std::vector<std::string> oses = {}) {
  auto e = std::make_unique<MetalinkEntry>();
  e->file = std::make_unique<FileEntry>(path, 0, 0);
  e->version = version;
  e->languages = std::move(languages);
  e->oses = std::move(oses);
  return e;
}

std::vector<std::string> urls(const MetalinkEntry& e) {
  std::vector<std::string> v;
  for (const auto& r : e.resources) {
    v.push_back(r->url);
  }
  return v;
}

std::vector<std::string> paths(const std::vector<std::unique_ptr<MetalinkEntry>>& entries) {
  std::vector<std::string> v;
  for (const auto& e : entries) {
    v.push_back(e->getPath());
  }
  return v;
}

}  // namespace

TEST(MetalinkEntryTest, ReorderPutsBestPriorityFirstAndShufflesEquals) {
  bool sawEachOrder[2] = {false, false};
  for (int i = 0; i < 64; ++i) {
    MetalinkEntry e;
    e.resources.push_back(resource("a", MetalinkResource::TYPE_HTTP, 1));
    e.resources.push_back(resource("worst", MetalinkResource::TYPE_HTTP, 999999));
    e.resources.push_back(resource("b", MetalinkResource::TYPE_HTTP, 1));
    e.reorderResourcesByPriority();
    auto v = urls(e);
    ASSERT_EQ("worst", v[2]);
    sawEachOrder[v[0] == "a" ? 0 : 1] = true;
  }
  // Equal mirrors share the load: both orders turn up.
  EXPECT_TRUE(sawEachOrder[0] && sawEachOrder[1]);
}

TEST(MetalinkEntryTest, DropUnsupportedKeepsOrderOfTheRest) {
  MetalinkEntry e;
  e.resources.push_back(resource("f", MetalinkResource::TYPE_FTP, 1));
  e.resources.push_back(resource("n", MetalinkResource::TYPE_NOT_SUPPORTED, 1));
  e.resources.push_back(resource("h", MetalinkResource::TYPE_HTTP, 1));
  e.resources.push_back(resource("u", MetalinkResource::TYPE_UNKNOWN, 1));
  e.dropUnsupportedResource();
  EXPECT_EQ((std::vector<std::string>{"f", "h"}), urls(e));
}

TEST(MetalinkEntryTest, PreferencesLowerOnlyTheMatchingMirrors) {
  MetalinkEntry e;
  e.resources.push_back(resource("jp", MetalinkResource::TYPE_HTTP, 10, "JP"));
  e.resources.push_back(resource("de", MetalinkResource::TYPE_HTTPS, 10, "de"));
  e.resources.push_back(
      resource("far", MetalinkResource::TYPE_HTTP, std::numeric_limits<int32_t>::min() + 5, "jp"));
  e.setLocationPriority({}, -999999);
  EXPECT_EQ(10, e.resources[0]->priority);
  // Users type locations in lower case; documents often use upper case.
  e.setLocationPriority({"jp"}, -999999);
  EXPECT_EQ(10 - 999999, e.resources[0]->priority);
  EXPECT_EQ(10, e.resources[1]->priority);
  // A priority already at the bottom of the range stays there.
  EXPECT_EQ(std::numeric_limits<int32_t>::min(), e.resources[2]->priority);
  e.setProtocolPriority("https", -999999);
  EXPECT_EQ(10 - 999999, e.resources[0]->priority);
  EXPECT_EQ(10 - 999999, e.resources[1]->priority);
}

TEST(MetalinkEntryTest, MetaurlsSortedByPriority) {
  MetalinkEntry e;
  e.metaurls.push_back(std::make_unique<MetalinkMetaurl>("c", "torrent", "", 30));
  e.metaurls.push_back(std::make_unique<MetalinkMetaurl>("a", "torrent", "", 1));
  e.metaurls.push_back(std::make_unique<MetalinkMetaurl>("b", "torrent", "", 2));
  e.reorderMetaurlsByPriority();
  EXPECT_EQ("a", e.metaurls[0]->url);
  EXPECT_EQ("b", e.metaurls[1]->url);
  EXPECT_EQ("c", e.metaurls[2]->url);
}

TEST(MetalinkEntryTest, ToFileEntryMovesFilesOutInOrder) {
  std::vector<std::unique_ptr<MetalinkEntry>> entries;
  entries.push_back(entry("x"));
  entries.push_back(entry("y"));
  auto files = MetalinkEntry::toFileEntry(std::move(entries));
  ASSERT_EQ(2u, files.size());
  EXPECT_EQ("x", files[0]->getPath());
  EXPECT_EQ("y", files[1]->getPath());
}

TEST(MetalinkerTest, QueryMovesOutMatchesAndKeepsTheRest) {
  struct Row {
    std::string version, language, os;
    std::vector<std::string> matched;
  };
  const Row rows[] = {
      {"", "", "", {"v1", "v2-en-linux", "v2-ja"}},
      {"2.0", "", "", {"v2-en-linux", "v2-ja"}},
      {"2.0", "en", "", {"v2-en-linux"}},
      // Whole list elements only: "en" is not "en-US".
      {"", "en-US", "", {}},
      {"", "", "linux", {"v2-en-linux"}},
      {"3.0", "", "", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.version + "/" + row.language + "/" + row.os);
    Metalinker m;
    m.addEntry(entry("v1", "1.0", {"en"}));
    m.addEntry(entry("v2-en-linux", "2.0", {"fr", "en"}, {"linux"}));
    m.addEntry(entry("v2-ja", "2.0", {"ja"}));
    auto matched = m.queryEntry(row.version, row.language, row.os);
    EXPECT_EQ(row.matched, paths(matched));
    EXPECT_EQ(3u, matched.size() + m.getEntries().size());
  }
}

TEST(MetalinkGroupingTest, FilesOfOneTorrentGroupOnlyWhenNamedAndSized) {
  auto withMetaurl = [](const std::string& path, const std::string& url, const std::string& name,
                        bool sizeKnown) {
    auto e = entry(path);
    e->sizeKnown = sizeKnown;
    e->metaurls.push_back(std::make_unique<MetalinkMetaurl>(url, "torrent", name, 1));
    return e;
  };
  std::vector<std::unique_ptr<MetalinkEntry>> entries;
  entries.push_back(entry("plain"));
  entries.push_back(withMetaurl("t1", "T", "d/t1", true));
  entries.push_back(withMetaurl("u", "U", "", true));
  entries.push_back(withMetaurl("t2", "T", "d/t2", true));
  entries.push_back(withMetaurl("t3", "T", "d/t3", false));
  entries.push_back(withMetaurl("u2", "U", "", true));
  // An empty metaurl URL must not be taken for the key of a plain file.
  entries.push_back(withMetaurl("e", "", "n", true));
  auto groups = metalink::groupEntryByMetaurlName(entries);
  std::vector<std::string> seen;
  for (const auto& [key, members] : groups) {
    std::string s = key + ":";
    for (auto* m : members) {
      s += m->getPath() + ",";
    }
    seen.push_back(s);
  }
  EXPECT_EQ((std::vector<std::string>{":plain,", "T:t1,t2,", "U:u,", "T:t3,", "U:u2,", ":e,"}),
            seen);
}

}  // namespace quarn
