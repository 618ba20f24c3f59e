#include "engine/SessionSerializer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "DownloadTestUtil.h"
#include "FakeEventPoll.h"
#include "TempDir.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadResult.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroupMan.h"
#include "engine/SaveSessionCommand.h"
#include "engine/UriListParser.h"
#include "foundation/SHA1IOFile.h"

namespace quarn {

namespace {

class SessionSerializerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    option_->put(PREF_MAX_DOWNLOAD_RESULT, "1000");
    engine_.setOption(option_.get());
    engine_.setRequestGroupMan(std::make_unique<RequestGroupMan>(
        std::vector<std::shared_ptr<RequestGroup>>{}, 5, option_.get()));
    rgman_ = engine_.getRequestGroupMan();
  }

  std::shared_ptr<DownloadResult> result(error_code::Value code,
                                         const std::vector<std::string>& remaining,
                                         const std::vector<std::string>& spent = {}) {
    auto dr = std::make_shared<DownloadResult>();
    dr->gid = GroupId::create();
    dr->result = code;
    dr->option = std::make_shared<Option>();
    dr->option->setParent(option_);
    auto entry = std::make_shared<FileEntry>("/d/f", 0, 0, remaining);
    for (const auto& uri : spent) {
      entry->getSpentUris().push_back(uri);
    }
    dr->fileEntries.push_back(entry);
    return dr;
  }

  std::string text() {
    test::TempDir dir;
    const std::string path = dir.file("session");
    EXPECT_TRUE(SessionSerializer(rgman_).save(path));
    return test::readFile(path);
  }

  std::shared_ptr<Option> option_ = test::makeGlobalOption();
  DownloadEngine engine_{std::make_unique<FakeEventPoll>()};
  RequestGroupMan* rgman_ = nullptr;
};

}  // namespace

TEST_F(SessionSerializerTest, UrisOfTheFirstFileOnceEach) {
  auto dr = result(error_code::TIME_OUT, {"http://a/", "http://b/"}, {"http://a/", "http://c/"});
  dr->option->put(PREF_DIR, "/downloads");
  rgman_->addDownloadResult(dr);
  EXPECT_EQ("http://a/\thttp://b/\thttp://c/\t\n gid=" + dr->gid->toHex() + "\n dir=/downloads\n",
            text());
}

TEST_F(SessionSerializerTest, WhichResultsAreWritten) {
  struct Case {
    error_code::Value code;
    bool forceSave;
    bool saveNotFound;
    bool written;
  } cases[] = {
      {error_code::FINISHED, false, false, false},
      {error_code::FINISHED, true, false, true},
      {error_code::REMOVED, false, false, false},
      {error_code::REMOVED, true, false, true},
      {error_code::IN_PROGRESS, false, false, true},
      {error_code::RESOURCE_NOT_FOUND, false, false, false},
      {error_code::RESOURCE_NOT_FOUND, false, true, true},
      {error_code::MAX_FILE_NOT_FOUND, false, false, false},
      {error_code::HTTP_PROTOCOL_ERROR, false, false, true},
  };
  for (const auto& c : cases) {
    rgman_->purgeDownloadResult();
    auto dr = result(c.code, {"http://a/"});
    if (c.forceSave) {
      dr->option->put(PREF_FORCE_SAVE, "true");
    }
    if (c.saveNotFound) {
      dr->option->put(PREF_SAVE_NOT_FOUND, "true");
    } else {
      dr->option->put(PREF_SAVE_NOT_FOUND, "false");
    }
    rgman_->addDownloadResult(dr);
    EXPECT_EQ(c.written, !text().empty()) << c.code;
  }
}

TEST_F(SessionSerializerTest, DownloadsOfOneMetadataSourceShareOneEntry) {
  auto source = GroupId::create();
  auto mi = std::make_shared<MetadataInfo>(source, "/d/file.metalink");
  for (int i = 0; i < 3; ++i) {
    auto dr = result(error_code::IN_PROGRESS, {"http://a/" + std::to_string(i)});
    dr->metadataInfo = mi;
    rgman_->addDownloadResult(dr);
  }
  auto inMemory = result(error_code::IN_PROGRESS, {"http://x/"});
  inMemory->metadataInfo = std::make_shared<MetadataInfo>();
  rgman_->addDownloadResult(inMemory);
  auto child = result(error_code::IN_PROGRESS, {"http://y/"});
  child->belongsTo = 5;
  rgman_->addDownloadResult(child);
  EXPECT_EQ("/d/file.metalink\n gid=" + source->toHex() + "\n", text());
}

TEST_F(SessionSerializerTest, WaitingDownloadsWithPauseAndCumulativeOptions) {
  auto g = test::makeGroup(option_, "", {"http://w/"});
  g->setPauseRequested(true);
  g->getOption()->put(PREF_HEADER, "A: 1\nB: 2");
  rgman_->addReservedGroup(g);
  EXPECT_EQ("http://w/\t\n gid=" + g->getGroupId()->toHex() +
                "\n pause=true\n header=A: 1\n header=B: 2\n",
            text());
}

TEST_F(SessionSerializerTest, GzipSessionReadsBackAsInputList) {
  auto dr = result(error_code::TIME_OUT, {"http://a/"});
  dr->option->put(PREF_SPLIT, "3");
  rgman_->addDownloadResult(dr);
  test::TempDir dir;
  const std::string path = dir.file("session.gz");
  ASSERT_TRUE(SessionSerializer(rgman_).save(path));
  EXPECT_NE('h', test::readFile(path)[0]);
  UriListParser parser(path);
  std::vector<std::string> uris;
  Option op;
  ASSERT_TRUE(parser.hasNext());
  parser.parseNext(uris, op);
  EXPECT_EQ((std::vector<std::string>{"http://a/"}), uris);
  EXPECT_EQ(dr->gid->toHex(), op.get(PREF_GID));
  EXPECT_EQ("3", op.get(PREF_SPLIT));
}

TEST_F(SessionSerializerTest, FilesAreReadableByTheOwnerOnly) {
  rgman_->addDownloadResult(result(error_code::TIME_OUT, {"http://a/"}));
  test::TempDir dir;
  const std::string path = dir.file("session");
  // An earlier, world-readable file is replaced by a private one.
  test::writeFile(path, "old");
  ::chmod(path.c_str(), 0644);
  ::umask(022);
  ASSERT_TRUE(SessionSerializer(rgman_).save(path));
  struct stat st;
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  // A failed write leaves the temporary file behind, private too.
  test::writeFile(path + "__temp", "");
  ::chmod((path + "__temp").c_str(), 0666);
  EXPECT_FALSE(SessionSerializer(rgman_).save(dir.file("no-such-dir/x")));
  ASSERT_TRUE(SessionSerializer(rgman_).save(path));
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST_F(SessionSerializerTest, HashIsKeptOnlyAfterASuccessfulSave) {
  // A waiting download keeps the run, and so the command, alive.
  rgman_->addReservedGroup(test::makeGroup(option_, "", {"http://a/"}));
  test::TempDir dir;
  const std::string path = dir.file("sub/session");
  option_->put(PREF_SAVE_SESSION, path);
  engine_.addRoutineCommand(
      std::make_unique<SaveSessionCommand>(1, &engine_, std::chrono::seconds(0)));
  ASSERT_EQ(1, engine_.run(true));
  EXPECT_EQ("", rgman_->getLastSessionHash());
  EXPECT_FALSE(std::filesystem::exists(path));
  // Once the directory exists the next pass writes the unchanged session.
  std::filesystem::create_directories(dir.file("sub"));
  ASSERT_EQ(1, engine_.run(true));
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(SessionSerializer(rgman_).calculateHash(), rgman_->getLastSessionHash());
  EXPECT_EQ(20u, rgman_->getLastSessionHash().size());
  // Unchanged again: the file is left alone.
  std::filesystem::remove(path);
  ASSERT_EQ(1, engine_.run(true));
  EXPECT_FALSE(std::filesystem::exists(path));
  // A halt ends the command without saving.
  engine_.requestHalt();
  engine_.run(true);
  EXPECT_EQ(0u, engine_.countRoutineCommands());
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace quarn
