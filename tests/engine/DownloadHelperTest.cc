#include "engine/download_helper.h"

#include <gtest/gtest.h>

#include "DownloadTestUtil.h"
#include "TempDir.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroup.h"
#include "engine/UriListParser.h"
#include "foundation/DlAbortEx.h"
#include "foundation/File.h"
#include "storage/DownloadContext.h"

namespace quarn {

namespace {

class DownloadHelperTest : public ::testing::Test {
 protected:
  std::vector<std::string> uris(const std::shared_ptr<RequestGroup>& g) {
    return g->getDownloadContext()->getFirstFileEntry()->getUris();
  }

  std::shared_ptr<Option> option_ = test::makeGlobalOption();
  std::vector<std::shared_ptr<RequestGroup>> result_;
};

}  // namespace

TEST_F(DownloadHelperTest, StreamUrisAreSpreadOverConnections) {
  struct Case {
    const char* split;
    const char* maxConn;
    std::vector<std::string> args;
    std::vector<std::string> expected;
  } cases[] = {
      {"5",
       "1",
       {"http://h/1", "http://h/2", "http://h/3"},
       {"http://h/1", "http://h/2", "http://h/3"}},
      {"5", "2", {"http://h/1"}, {"http://h/1", "http://h/1"}},
      {"5", "1", {"http://h/1", "http://h/2"}, {"http://h/1", "http://h/2"}},
      {"5",
       "5",
       {"http://h/1", "http://h/2"},
       {"http://h/1", "http://h/2", "http://h/1", "http://h/2", "http://h/1"}},
      {"2",
       "1",
       {"http://h/1", "http://h/2", "http://h/3"},
       {"http://h/1", "http://h/2", "http://h/3"}},
  };
  for (const auto& c : cases) {
    option_->put(PREF_SPLIT, c.split);
    option_->put(PREF_MAX_CONNECTION_PER_SERVER, c.maxConn);
    result_.clear();
    createRequestGroupForUri(result_, option_, c.args, false, false, true);
    ASSERT_EQ(1u, result_.size());
    EXPECT_EQ(c.expected, uris(result_[0])) << c.split << " " << c.maxConn;
    EXPECT_EQ(atoi(c.split), result_[0]->getMaxConcurrentCommands());
  }
}

TEST_F(DownloadHelperTest, ForceSequentialMakesOneDownloadPerUriWithoutOut) {
  option_->put(PREF_SPLIT, "5");
  option_->put(PREF_MAX_CONNECTION_PER_SERVER, "2");
  option_->put(PREF_FORCE_SEQUENTIAL, "true");
  option_->put(PREF_OUT, "name.bin");
  option_->put(PREF_DIR, "/dl");
  createRequestGroupForUri(result_, option_, {"http://h/1", "http://h/2"}, false, false, true);
  ASSERT_EQ(2u, result_.size());
  EXPECT_EQ((std::vector<std::string>{"http://h/1", "http://h/1"}), uris(result_[0]));
  EXPECT_EQ("", result_[0]->getDownloadContext()->getFirstFileEntry()->getPath());
  result_.clear();
  option_->put(PREF_FORCE_SEQUENTIAL, "false");
  createRequestGroupForUri(result_, option_, {"http://h/1"}, false, false, true);
  EXPECT_EQ("/dl/name.bin", result_[0]->getDownloadContext()->getFirstFileEntry()->getPath());
}

TEST_F(DownloadHelperTest, UnrecognisedArgument) {
  EXPECT_THROW(
      {
        try {
          createRequestGroupForUri(result_, option_, {"no-such-thing"}, false, false, true);
        } catch (DlAbortEx& e) {
          EXPECT_STREQ("Unrecognized URI or unsupported protocol: no-such-thing", e.what());
          throw;
        }
      },
      DlAbortEx);
  createRequestGroupForUri(result_, option_, {"no-such-thing", "http://h/1"});
  EXPECT_EQ(1u, result_.size());
}

TEST_F(DownloadHelperTest, GidOption) {
  option_->put(PREF_GID, "00000000000000a1");
  option_->put(PREF_FORCE_SEQUENTIAL, "true");
  try {
    createRequestGroupForUri(result_, option_, {"http://h/1", "http://h/2"}, false, false, true);
    FAIL();
  } catch (DlAbortEx& e) {
    EXPECT_STREQ("GID 00000000000000a1 is not unique.", e.what());
  }
  ASSERT_EQ(1u, result_.size());
  EXPECT_EQ(0xa1u, result_[0]->getGID());
  EXPECT_FALSE(result_[0]->getOption()->defined(PREF_GID));
  option_->put(PREF_GID, "xyz");
  EXPECT_THROW(createRequestGroupForUri(result_, option_, {"http://h/3"}, false, false, true),
               DlAbortEx);
}

TEST_F(DownloadHelperTest, ChecksumAndPause) {
  option_->put(PREF_CHECKSUM, "SHA-1=0a0B");
  option_->put(PREF_ENABLE_RPC, "true");
  option_->put(PREF_PAUSE, "true");
  createRequestGroupForUri(result_, option_, {"http://h/1"});
  const auto& dctx = result_[0]->getDownloadContext();
  EXPECT_EQ("sha-1", dctx->getHashType());
  EXPECT_EQ(std::string("\x0a\x0b"), dctx->getDigest());
  EXPECT_TRUE(result_[0]->isPauseRequested());
  EXPECT_FALSE(result_[0]->getOption()->defined(PREF_PAUSE));
  // The download's option set is its own copy.
  EXPECT_TRUE(option_->defined(PREF_PAUSE));
}

TEST_F(DownloadHelperTest, ParameterizedUris) {
  option_->put(PREF_PARAMETERIZED_URI, "true");
  option_->put(PREF_SPLIT, "1");
  createRequestGroupForUri(result_, option_, {"http://h/{a,b}"});
  EXPECT_EQ((std::vector<std::string>{"http://h/a", "http://h/b"}), uris(result_[0]));
}

TEST_F(DownloadHelperTest, InputListEntriesCarryTheirOwnOptions) {
  test::TempDir dir;
  const std::string path = dir.file("list");
  test::writeFile(path,
                  "http://h/1\n out=one.bin\n split=2\n"
                  "bogus-argument\n"
                  "http://h/2\n");
  option_->put(PREF_OUT, "global.bin");
  option_->put(PREF_INPUT_FILE, path);
  createRequestGroupForUriList(result_, option_);
  ASSERT_EQ(2u, result_.size());
  EXPECT_EQ("one.bin",
            File(result_[0]->getDownloadContext()->getFirstFileEntry()->getPath()).getBasename());
  EXPECT_EQ(2, result_[0]->getMaxConcurrentCommands());
  EXPECT_EQ("", result_[1]->getDownloadContext()->getFirstFileEntry()->getPath());
}

TEST_F(DownloadHelperTest, OpenUriListParserRefusesMissingFilesAndDirectories) {
  test::TempDir dir;
  for (const auto& path : {dir.file("missing"), dir.path().string()}) {
    try {
      openUriListParser(path);
      FAIL();
    } catch (DlAbortEx& e) {
      EXPECT_EQ("Failed to open the file " + path + ", cause: File not found or it is a directory",
                e.what());
    }
  }
}

TEST_F(DownloadHelperTest, MetadataInfoFromFirstFileEntry) {
  auto gid = GroupId::create();
  auto dctx = std::make_shared<DownloadContext>(1024, 0);
  EXPECT_EQ(nullptr, createMetadataInfoFromFirstFileEntry(gid, dctx));
  dctx->getFirstFileEntry()->addUri("http://h/x.torrent");
  auto info = createMetadataInfoFromFirstFileEntry(gid, dctx);
  ASSERT_NE(nullptr, info);
  EXPECT_EQ("http://h/x.torrent", info->getUri());
  EXPECT_EQ(gid->getNumericId(), info->getGID());
}

}  // namespace quarn
