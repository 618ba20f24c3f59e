#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TempDir.h"
#include "bittorrent/BtExtendedMessage.h"
#include "bittorrent/DefaultExtensionMessageFactory.h"
#include "bittorrent/ExtensionMessageRegistry.h"
#include "bittorrent/HandshakeExtensionMessage.h"
#include "bittorrent/MessageFakes.h"
#include "bittorrent/Peer.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/TorrentFixture.h"
#include "bittorrent/UTMetadataDataExtensionMessage.h"
#include "bittorrent/UTMetadataPostDownloadHandler.h"
#include "bittorrent/UTMetadataRequestFactory.h"
#include "bittorrent/UTMetadataRequestTracker.h"
#include "bittorrent/bt_downloads.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadSources.h"
#include "engine/DownloadTestUtil.h"
#include "engine/RequestGroup.h"
#include "engine/download_helper.h"
#include "foundation/DlAbortEx.h"
#include "foundation/MessageDigest.h"
#include "foundation/util_string.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/PieceStorage.h"
#include "storage/stored_data.h"

namespace quarn {
namespace {

using namespace quarn::test;

// Wraps extension messages the way the real factory does, so that queued
// answers can be inspected.
struct WrappingFactory : FakeMessageFactory {
  std::unique_ptr<BtMessage> createBtExtendedMessage(
      std::unique_ptr<ExtensionMessage> message) override {
    return std::make_unique<BtExtendedMessage>(std::move(message));
  }
};

ExtensionMessage& extensionOf(const std::unique_ptr<BtMessage>& m) {
  return *static_cast<BtExtendedMessage&>(*m).getExtensionMessage();
}

std::unique_ptr<ExtensionMessage> decode(DefaultExtensionMessageFactory& factory,
                                         const std::string& wire) {
  return factory.createMessage(reinterpret_cast<const unsigned char*>(wire.data()), wire.size());
}

TEST(MetadataMessageTest, PayloadsDecodeOrFailWithTheirReason) {
  ExtensionMessageRegistry registry;
  registry.setExtensionMessageID(EXT_UT_METADATA, 9);
  DefaultExtensionMessageFactory factory(std::make_shared<Peer>("10.0.0.1", 1), &registry);
  struct Case {
    std::string payload;
    std::string result;  // toString() or the error text
  } cases[] = {
      {"d8:msg_typei0e5:piecei3ee", "ut_metadata request piece=3"},
      {"d8:msg_typei2e5:piecei1eetrailing", "ut_metadata reject piece=1"},
      {"d8:msg_typei1e5:piecei0e10:total_sizei5eehello", "ut_metadata data piece=0"},
      {"d8:msg_typei1e5:piecei0e10:total_sizei5ee", "Bad ut_metadata data: data not found"},
      {"d8:msg_typei1e5:piecei0eehello", "Bad ut_metadata data: total_size not found"},
      {"li1ee", "Bad ut_metadata: dictionary not found"},
      {"", "Bad ut_metadata: dictionary not found"},
      {"d5:piecei0ee", "Bad ut_metadata: msg_type not found"},
      {"d8:msg_typei0e5:piecei-1ee", "Bad ut_metadata: piece not found"},
      {"d8:msg_typei7e5:piecei0ee", "Bad ut_metadata: unknown msg_type=7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.payload);
    try {
      auto m = decode(factory, "\x09" + c.payload);
      EXPECT_EQ(c.result, m->toString());
      EXPECT_EQ(9, m->getExtensionMessageID());
    } catch (const DlAbortEx& e) {
      EXPECT_EQ(c.result, e.what());
    }
  }
  auto data = decode(factory,
                     "\x09"
                     "d8:msg_typei1e5:piecei0e10:total_sizei5eehello");
  EXPECT_EQ("hello", static_cast<UTMetadataDataExtensionMessage&>(*data).getData());
  EXPECT_EQ("d8:msg_typei1e5:piecei0e10:total_sizei5eehello", data->getPayload());
}

TEST(MetadataMessageTest, RequestsAreAnsweredWithPiecesOrRejects) {
  auto ctx = std::make_shared<DownloadContext>();
  auto attrs = std::make_shared<TorrentAttribute>();
  ctx->setAttribute(CTX_ATTR_BT, attrs);
  auto peer = std::make_shared<Peer>("10.0.0.1", 1);
  peer->allocateSessionResource(16384, 16384);
  peer->setExtension(EXT_UT_METADATA, 3);
  FakeDispatcher dispatcher;
  WrappingFactory messages;
  ExtensionMessageRegistry registry;
  registry.setExtensionMessageID(EXT_UT_METADATA, 9);
  DefaultExtensionMessageFactory factory(peer, &registry);
  factory.setDownloadContext(ctx.get());
  factory.setBtMessageDispatcher(&dispatcher);
  factory.setBtMessageFactory(&messages);
  auto request = [&](int index) {
    decode(factory,
           "\x09"
           "d8:msg_typei0e5:piecei" +
               std::to_string(index) + "ee")
        ->doReceivedAction();
  };
  // Without metadata every request is refused.
  request(0);
  ASSERT_EQ(1u, dispatcher.queue.size());
  EXPECT_EQ("ut_metadata reject piece=0", extensionOf(dispatcher.queue[0]).toString());
  EXPECT_EQ(3, extensionOf(dispatcher.queue[0]).getExtensionMessageID());

  for (size_t i = 0; i < 40000; ++i) {
    attrs->metadata += static_cast<char>('a' + i % 26);
  }
  attrs->metadataSize = attrs->metadata.size();
  struct Case {
    int index;
    size_t offset;
    size_t length;
  } cases[] = {{0, 0, 16384}, {1, 16384, 16384}, {2, 32768, 7232}};
  for (const auto& c : cases) {
    dispatcher.queue.clear();
    request(c.index);
    ASSERT_EQ(1u, dispatcher.queue.size());
    auto& data = static_cast<UTMetadataDataExtensionMessage&>(extensionOf(dispatcher.queue[0]));
    EXPECT_EQ(attrs->metadata.substr(c.offset, c.length), data.getData());
    EXPECT_EQ(40000u, data.getTotalSize());
  }
  try {
    request(3);
    ADD_FAILURE() << "piece 3 served";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Metadata piece index is too big. piece=3", e.what());
  }
}

TEST(MetadataMessageTest, TrackerTimesOutRequestsAfterTwentySeconds) {
  UTMetadataRequestTracker tracker;
  EXPECT_TRUE(tracker.avail());
  tracker.add(2);
  tracker.add(5);
  EXPECT_FALSE(tracker.avail());
  EXPECT_TRUE(tracker.tracks(5));
  EXPECT_TRUE(tracker.removeTimeoutEntry().empty());
  tracker.remove(2);
  EXPECT_EQ(std::vector<size_t>{5}, tracker.getAllTrackedIndex());
}

// A magnet link's metadata download, fed by the test playing two peers.
class MetadataDownloadTest : public ::testing::Test {
 protected:
  MetadataDownloadTest() {
    option_->put(PREF_DIR, dir_.path().string());
    auto root = test::withInfo(test::singleInfo("t", 2000LL * 16384));
    root->put("announce", "http://tracker/a");
    metadata_ = test::encode(test::singleInfo("t", 2000LL * 16384));
    infoHash_ = MessageDigest::sha1()->update(metadata_.data(), metadata_.size()).digest();
    sources_.add(bittorrent::makeDownloads);
    createRequestGroupForUri(
        result_, option_,
        {"magnet:?xt=urn:btih:" + util::toHex(infoHash_) + "&dn=t&tr=http%3A%2F%2Ftracker%2Fa"},
        false, false, true, &sources_);
    group_ = result_.at(0);
    ctx_ = group_->getDownloadContext();
    ctx_->setOwnerRequestGroup(group_.get());
    registry_.setExtensionMessageID(EXT_UT_METADATA, 9);
  }

  // A peer's extension handshake announcing the metadata size.
  std::shared_ptr<Peer> connect(size_t metadataSize) {
    auto peer = std::make_shared<Peer>("10.0.0." + std::to_string(++peers_), 6881);
    peer->allocateSessionResource(ctx_->getPieceLength(), ctx_->getTotalLength());
    const std::string hs = std::string(1, '\0') + "d1:md11:ut_metadatai3ee13:metadata_sizei" +
                           std::to_string(metadataSize) + "ee";
    auto m = HandshakeExtensionMessage::create(reinterpret_cast<const unsigned char*>(hs.data()),
                                               hs.size());
    m->setPeer(peer);
    m->setDownloadContext(ctx_.get());
    m->doReceivedAction();
    return peer;
  }

  // A data message for piece `index`; `totalSize` defaults to the real metadata's size.
  std::unique_ptr<ExtensionMessage> data(const std::shared_ptr<Peer>& peer, size_t index,
                                         const std::string& bytes, size_t totalSize = 0) {
    DefaultExtensionMessageFactory factory(peer, &registry_);
    factory.setDownloadContext(ctx_.get());
    factory.setUTMetadataRequestTracker(&tracker_);
    return decode(factory,
                  "\x09"
                  "d8:msg_typei1e5:piecei" +
                      std::to_string(index) + "e10:total_sizei" +
                      std::to_string(totalSize ? totalSize : metadata_.size()) + "ee" + bytes);
  }

  // Requests every piece through one peer and answers with the bytes given.
  void fetchAll(const std::shared_ptr<Peer>& peer, const std::string& bytes) {
    const size_t totalSize = bytes.size();
    UTMetadataRequestFactory requests;
    FakeDispatcher dispatcher;
    WrappingFactory messages;
    requests.setDownloadContext(ctx_.get());
    requests.setPeer(peer);
    requests.setBtMessageDispatcher(&dispatcher);
    requests.setBtMessageFactory(&messages);
    requests.setUTMetadataRequestTracker(&tracker_);
    requests.setCuid(1);
    auto storage = group_->getPieceStorage();
    for (auto& r : requests.create(10, storage.get())) {
      const size_t index = static_cast<UTMetadataExtensionMessage&>(extensionOf(r)).getIndex();
      data(peer, index, bytes.substr(index * 16384, 16384), totalSize)->doReceivedAction();
    }
  }

  test::TempDir dir_;
  std::shared_ptr<Option> option_ = test::makeGlobalOption();
  std::vector<std::shared_ptr<RequestGroup>> result_;
  DownloadSources sources_;
  std::string metadata_;
  std::string infoHash_;
  std::shared_ptr<RequestGroup> group_;
  std::shared_ptr<DownloadContext> ctx_;
  ExtensionMessageRegistry registry_;
  UTMetadataRequestTracker tracker_;
  int peers_ = 0;
};

TEST_F(MetadataDownloadTest, FirstPeerSizesTheDownloadAndOthersMustAgree) {
  ASSERT_GT(metadata_.size(), 32768u);
  auto peer = connect(metadata_.size());
  EXPECT_EQ(static_cast<int64_t>(metadata_.size()), ctx_->getTotalLength());
  ASSERT_TRUE(group_->getPieceStorage());
  EXPECT_TRUE(group_->getPieceStorage()->isEndGame());
  EXPECT_TRUE(peer->hasPiece(2));
  try {
    connect(metadata_.size() + 1);
    ADD_FAILURE() << "second size accepted";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Wrong metadata_size. Which one is correct!?", e.what());
  }
  EXPECT_THROW(connect(0), DlAbortEx);
}

TEST_F(MetadataDownloadTest, OnlyMetadataOfTheLinksHashCompletesTheDownload) {
  auto peer = connect(metadata_.size());
  // A piece nobody asked for is dropped.
  data(peer, 0, metadata_.substr(0, 16384))->doReceivedAction();
  EXPECT_EQ(0, group_->getPieceStorage()->getCompletedLength());

  std::string forged = metadata_;
  forged[100] ^= 1;
  try {
    fetchAll(peer, forged);
    ADD_FAILURE() << "forged metadata accepted";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Got wrong ut_metadata", e.what());
  }
  EXPECT_FALSE(group_->getPieceStorage()->downloadFinished());
  EXPECT_EQ(0, group_->getPieceStorage()->getCompletedLength());

  // The failed connection is gone; the peer comes back with a new handshake.
  tracker_ = UTMetadataRequestTracker();
  peer = connect(metadata_.size());
  fetchAll(peer, metadata_);
  EXPECT_TRUE(group_->getPieceStorage()->downloadFinished());
  EXPECT_EQ(metadata_, readStoredData(group_->getPieceStorage()->getDiskAdaptor()));
}

// A block must fill exactly its piece of the announced size, and name a
// piece that exists: anything else ends the connection before a byte is
// stored, even when the index is one this connection asked for.
TEST_F(MetadataDownloadTest, PieceOfTheWrongLengthOrIndexIsRefused) {
  auto peer = connect(metadata_.size());
  const size_t pieces = (metadata_.size() + 16383) / 16384;
  const size_t lastLength = metadata_.size() - (pieces - 1) * 16384;
  ASSERT_NE(16384u, lastLength);
  struct Case {
    size_t index;
    size_t length;
  } cases[] = {{0, 16385},
               {0, 16383},
               {pieces - 1, lastLength + 1},
               {pieces - 1, lastLength - 1},
               {pieces - 1, 16384},
               {pieces, 16384},
               {pieces, lastLength},
               // index * 16384 wraps to 0.
               {size_t{1} << 50, 16384}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.index) + " " + std::to_string(c.length));
    tracker_.add(c.index);
    EXPECT_THROW(data(peer, c.index, std::string(c.length, 'x'))->doReceivedAction(), DlAbortEx);
    EXPECT_EQ(0, group_->getPieceStorage()->getCompletedLength());
    EXPECT_EQ(std::string::npos,
              readStoredData(group_->getPieceStorage()->getDiskAdaptor()).find('x'));
  }
  // The exact remainder is taken for the last piece.
  tracker_.add(pieces - 1);
  data(peer, pieces - 1, metadata_.substr((pieces - 1) * 16384))->doReceivedAction();
  EXPECT_EQ(static_cast<int64_t>(lastLength), group_->getPieceStorage()->getCompletedLength());
}

TEST_F(MetadataDownloadTest, BlockCutForAnotherTotalSizeIsRefused) {
  auto peer = connect(metadata_.size());
  for (size_t totalSize : {metadata_.size() + 1, metadata_.size() - 1, size_t{16384}}) {
    SCOPED_TRACE(totalSize);
    tracker_.add(0);
    EXPECT_THROW(data(peer, 0, metadata_.substr(0, 16384), totalSize)->doReceivedAction(),
                 DlAbortEx);
    EXPECT_EQ(0, group_->getPieceStorage()->getCompletedLength());
  }
}

TEST_F(MetadataDownloadTest, SizeOfAPeerWhoseMetadataFailedIsForgotten) {
  // The first peer lies about the size and sends metadata of that size.
  const std::string lie = metadata_ + std::string(20000, 'x');
  auto liar = connect(lie.size());
  EXPECT_THROW(fetchAll(liar, lie), DlAbortEx);
  // An honest peer's size is taken now, not refused as "Wrong metadata_size".
  tracker_ = UTMetadataRequestTracker();
  auto honest = connect(metadata_.size());
  EXPECT_EQ(static_cast<int64_t>(metadata_.size()), ctx_->getTotalLength());
  fetchAll(honest, metadata_);
  EXPECT_TRUE(group_->getPieceStorage()->downloadFinished());
  EXPECT_EQ(metadata_, readStoredData(group_->getPieceStorage()->getDiskAdaptor()));
}

TEST_F(MetadataDownloadTest, HandlerSavesAndStartsTheTorrentOnlyFromGenuineMetadata) {
  UTMetadataPostDownloadHandler handler;
  EXPECT_TRUE(handler.canHandle(group_.get()));
  auto peer = connect(metadata_.size());
  fetchAll(peer, metadata_);
  const std::string saved = dir_.file(util::toHex(infoHash_) + ".torrent");
  struct Case {
    bool save;
    bool only;
    size_t groups;
  } cases[] = {{true, true, 0}, {false, false, 1}, {true, false, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.save) + std::to_string(c.only));
    group_->getOption()->put(PREF_BT_SAVE_METADATA, c.save ? "true" : "false");
    group_->getOption()->put(PREF_BT_METADATA_ONLY, c.only ? "true" : "false");
    std::vector<std::shared_ptr<RequestGroup>> groups;
    handler.getNextRequestGroups(groups, group_.get());
    ASSERT_EQ(c.groups, groups.size());
    if (c.groups) {
      const auto* attrs = bittorrent::getTorrentAttrs(groups[0]->getDownloadContext());
      EXPECT_EQ(infoHash_, attrs->infoHash);
      EXPECT_EQ(metadata_, attrs->metadata);
      EXPECT_EQ(group_->getGID(), groups[0]->following());
    }
    ASSERT_TRUE(std::filesystem::exists(saved));
  }
  // The file of the first save is kept as it was.
  std::ifstream in(saved, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_NE(std::string::npos, content.str().find("4:info" + metadata_));
  std::filesystem::remove(saved);

  // Metadata that is not the link's own never becomes a file or a download.
  std::string forged = metadata_;
  forged[100] ^= 1;
  group_->getPieceStorage()->getDiskAdaptor()->writeData(
      reinterpret_cast<const uint8_t*>(forged.data()), forged.size(), 0);
  std::vector<std::shared_ptr<RequestGroup>> groups;
  EXPECT_THROW(handler.getNextRequestGroups(groups, group_.get()), DlAbortEx);
  EXPECT_TRUE(groups.empty());
  EXPECT_FALSE(std::filesystem::exists(saved));
}

}  // namespace
}  // namespace quarn
