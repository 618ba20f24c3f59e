#include <gtest/gtest.h>

#include "TempDir.h"
#include "bittorrent/BtControlFileTorrent.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/TorrentAttribute.h"
#include "foundation/DlAbortEx.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DownloadFixture.h"

namespace quarn {
namespace {

using namespace quarn::test;

constexpr int32_t PIECE = 16384;
constexpr int64_t TOTAL = 3 * PIECE;
const std::string INFO_HASH(20, '\x5a');

std::string u32(uint32_t x) {
  return {static_cast<char>(x >> 24), static_cast<char>(x >> 16), static_cast<char>(x >> 8),
          static_cast<char>(x)};
}

std::string u64(uint64_t x) {
  return u32(static_cast<uint32_t>(x >> 32)) + u32(static_cast<uint32_t>(x));
}

// A control file record for the test torrent with the given head fields.
std::string record(uint32_t extension, const std::string& infoHash, uint64_t uploaded) {
  return std::string("\0\1", 2) + u32(extension) + u32(static_cast<uint32_t>(infoHash.size())) +
         infoHash + u32(PIECE) + u64(TOTAL) + u64(uploaded) + u32(1) + "\xa0" + u32(0);
}

class TorrentControlFileTest : public ::testing::Test {
 protected:
  TorrentControlFileTest()
      : download(dir.file("out"), PIECE, TOTAL), runtime(std::make_shared<BtRuntime>()) {
    auto attrs = std::make_shared<TorrentAttribute>();
    attrs->infoHash = INFO_HASH;
    download.ctx->setAttribute(CTX_ATTR_BT, attrs);
  }

  std::unique_ptr<DefaultBtProgressInfoFile> torrentFile() {
    auto file = std::make_unique<DefaultBtProgressInfoFile>(download.ctx, download.storage,
                                                            download.option.get());
    file->setControlFileTorrent(std::make_shared<BtControlFileTorrent>(download.ctx, runtime));
    return file;
  }

  std::string path() const { return dir.file("out.quarn"); }

  TempDir dir;
  DownloadFixture download;
  std::shared_ptr<BtRuntime> runtime;
};

TEST_F(TorrentControlFileTest, SavesInfoHashAndUploadCount) {
  runtime->setUploadLengthAtStartup(1000);
  download.ctx->updateUploadLength(234);
  const unsigned char bits[] = {0xa0};
  download.storage->setBitfield(bits, 1);
  torrentFile()->save();
  EXPECT_EQ(record(1, INFO_HASH, 1234), readFile(path()));

  auto resumed = std::make_shared<BtRuntime>();
  runtime = resumed;
  download.storage->setBitfield(std::vector<uint8_t>{0}.data(), 1);
  torrentFile()->load();
  EXPECT_EQ(1234, resumed->getUploadLengthAtStartup());
  EXPECT_TRUE(download.storage->hasPiece(0));
  EXPECT_TRUE(download.storage->hasPiece(2));
}

TEST_F(TorrentControlFileTest, RecordsOfOtherDownloadsAreRefused) {
  const std::pair<std::string, const char*> cases[] = {
      {record(1, std::string(20, '\x11'), 0),
       "info hash mismatch. expected: 5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a, actual: "
       "1111111111111111111111111111111111111111"},
      {record(1, "", 0), "Invalid info hash length: 0"},
      {record(0, std::string(21, 'x'), 0), "Invalid info hash length: 21"},
  };
  for (const auto& [bytes, message] : cases) {
    writeFile(path(), bytes);
    runtime->setUploadLengthAtStartup(7);
    try {
      torrentFile()->load();
      ADD_FAILURE() << message;
    } catch (const DlAbortEx& e) {
      EXPECT_EQ(std::string(message), e.what());
    }
    EXPECT_EQ(7, runtime->getUploadLengthAtStartup());
    EXPECT_EQ(0, download.storage->getCompletedLength());
  }
}

TEST_F(TorrentControlFileTest, PlainRecordLoadsWithoutCheck) {
  // Written for a download that was no torrent: no extension, no hash.
  writeFile(path(), record(0, "", 99));
  torrentFile()->load();
  EXPECT_EQ(99, runtime->getUploadLengthAtStartup());
  EXPECT_TRUE(download.storage->hasPiece(0));
  // A plain download skips a torrent's hash and keeps no upload count.
  writeFile(path(), record(1, std::string(20, '\x11'), 99));
  DefaultBtProgressInfoFile(download.ctx, download.storage, download.option.get()).load();
}

}  // namespace
}  // namespace quarn
