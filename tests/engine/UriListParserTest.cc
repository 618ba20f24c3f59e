#include "engine/UriListParser.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "TempDir.h"
#include "config/Option.h"
#include "config/OptionHandlerException.h"
#include "config/prefs.h"

namespace quarn {

namespace {

struct Entry {
  std::vector<std::string> uris;
  std::shared_ptr<Option> option;
};

std::vector<Entry> readAll(const std::string& path) {
  UriListParser parser(path);
  std::vector<Entry> entries;
  while (parser.hasNext()) {
    Entry e{{}, std::make_shared<Option>()};
    parser.parseNext(e.uris, *e.option);
    if (!e.uris.empty()) {
      entries.push_back(e);
    }
  }
  return entries;
}

}  // namespace

TEST(UriListParserTest, EntriesWithOptionLines) {
  test::TempDir dir;
  const std::string path = dir.file("list");
  test::writeFile(path,
                  "# comment\n"
                  "\n"
                  " http://a/1 \t\t http://b/1\r\n"
                  "  dir=/tmp/x\r\n"
                  "\n"
                  "# between\n"
                  "\tout=name.bin\n"
                  "http://c/2\n"
                  " #split=3\n"
                  "http://d/3");
  auto entries = readAll(path);
  ASSERT_EQ(3u, entries.size());
  EXPECT_EQ((std::vector<std::string>{"http://a/1", "http://b/1"}), entries[0].uris);
  EXPECT_EQ("/tmp/x", entries[0].option->get(PREF_DIR));
  EXPECT_EQ("name.bin", entries[0].option->get(PREF_OUT));
  EXPECT_EQ((std::vector<std::string>{"http://c/2"}), entries[1].uris);
  EXPECT_TRUE(entries[1].option->emptyLocal());
  EXPECT_EQ((std::vector<std::string>{"http://d/3"}), entries[2].uris);
}

TEST(UriListParserTest, EmptyAndCommentOnlyFiles) {
  test::TempDir dir;
  test::writeFile(dir.file("empty"), "");
  UriListParser empty(dir.file("empty"));
  EXPECT_FALSE(empty.hasNext());
  test::writeFile(dir.file("comments"), "# a\n\n# b\n");
  UriListParser comments(dir.file("comments"));
  std::vector<std::string> uris;
  Option op;
  while (comments.hasNext()) {
    comments.parseNext(uris, op);
  }
  EXPECT_TRUE(uris.empty());
  UriListParser missing(dir.file("missing"));
  EXPECT_FALSE(missing.hasNext());
}

TEST(UriListParserTest, GzipList) {
  test::TempDir dir;
  const std::string path = dir.file("list.gz");
  gzFile fp = gzopen(path.c_str(), "wb");
  const std::string text = "http://a/1\n split=2\n";
  gzwrite(fp, text.data(), static_cast<unsigned>(text.size()));
  gzclose(fp);
  auto entries = readAll(path);
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("2", entries[0].option->get(PREF_SPLIT));
}

TEST(UriListParserTest, RejectedOptionValueThrowsAfterTheUris) {
  test::TempDir dir;
  const std::string path = dir.file("list");
  test::writeFile(path, "http://a/1\n split=zero\nhttp://b/2\n");
  UriListParser parser(path);
  std::vector<std::string> uris;
  Option op;
  ASSERT_TRUE(parser.hasNext());
  EXPECT_THROW(parser.parseNext(uris, op), OptionHandlerException);
  EXPECT_EQ((std::vector<std::string>{"http://a/1"}), uris);
  uris.clear();
  ASSERT_TRUE(parser.hasNext());
  parser.parseNext(uris, op);
  EXPECT_EQ((std::vector<std::string>{"http://b/2"}), uris);
}

}  // namespace quarn
