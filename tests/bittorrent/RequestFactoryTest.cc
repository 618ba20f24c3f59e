#include <gtest/gtest.h>

#include <set>

#include "TempDir.h"
#include "bittorrent/BtMessage.h"
#include "bittorrent/DefaultBtMessageDispatcher.h"
#include "bittorrent/DefaultBtMessageFactory.h"
#include "bittorrent/DefaultBtRequestFactory.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/RequestSlot.h"
#include "bittorrent/SocketPair.h"
#include "storage/DownloadFixture.h"
#include "storage/Piece.h"

namespace quarn {
namespace {

using namespace quarn::test;

constexpr int32_t BLOCK = 16384;
constexpr int32_t PIECE_LENGTH = 3 * BLOCK;

// Three pieces of three blocks each, fetched from one peer.
class RequestFactoryTest : public ::testing::Test {
 protected:
  RequestFactoryTest() : download(dir.file("data"), PIECE_LENGTH, 3 * PIECE_LENGTH) {
    peer->allocateSessionResource(PIECE_LENGTH, 3 * PIECE_LENGTH);
    messageFactory.setPeer(peer);
    messageFactory.setPieceStorage(download.storage.get());
    messageFactory.setBtMessageDispatcher(&dispatcher);
    messageFactory.setPeerConnection(&connection);
    dispatcher.setPeer(peer);
    dispatcher.setPeerConnection(&connection);
    dispatcher.setBtMessageFactory(&messageFactory);
    factory.setCuid(7);
    factory.setPeer(peer);
    factory.setPieceStorage(download.storage.get());
    factory.setBtMessageDispatcher(&dispatcher);
    factory.setBtMessageFactory(&messageFactory);
  }
  std::shared_ptr<Piece> target(size_t index) {
    auto piece = download.storage->getMissingPiece(index, 7);
    factory.addTargetPiece(piece);
    return piece;
  }
  static std::vector<std::string> texts(const std::vector<std::unique_ptr<BtMessage>>& msgs) {
    std::vector<std::string> out;
    for (const auto& m : msgs) {
      out.push_back(m->toString());
    }
    return out;
  }

  TempDir dir;
  DownloadFixture download;
  std::shared_ptr<Peer> peer = std::make_shared<Peer>("10.0.0.3", 6881);
  SocketPair sockets;
  PeerConnection connection{7, peer, sockets.local};
  DefaultBtMessageFactory messageFactory;
  DefaultBtMessageDispatcher dispatcher;
  DefaultBtRequestFactory factory;
};

TEST_F(RequestFactoryTest, NormalModeHandsOutFreeBlocksLowestFirstAcrossPieces) {
  struct Case {
    size_t max;
    std::vector<std::string> expected;
  } cases[] = {
      {0, {}},
      {4,
       {"request index=0, begin=0, length=16384", "request index=0, begin=16384, length=16384",
        "request index=0, begin=32768, length=16384", "request index=1, begin=0, length=16384"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.max);
    auto first = target(0);
    auto second = target(1);
    EXPECT_EQ(c.expected, texts(factory.createRequestMessages(c.max, false)));
    EXPECT_EQ(c.max != 0, first->isBlockUsed(2));
    EXPECT_EQ(c.max != 0, second->isBlockUsed(0));
    EXPECT_FALSE(second->isBlockUsed(1));
    // Blocks handed out are not handed out again.
    const auto again = factory.createRequestMessages(10, false);
    EXPECT_EQ(c.max == 0 ? 6u : 2u, again.size());
    factory.removeAllTargetPiece();
    EXPECT_EQ(0u, factory.countTargetPiece());
    EXPECT_FALSE(download.storage->isPieceUsed(0));
  }
}

TEST_F(RequestFactoryTest, EndGameAsksAgainForBlocksOthersFetchButNotTwiceOfThisPeer) {
  auto piece = target(0);
  size_t used;
  piece->getMissingUnusedBlockIndex(used);  // block 0 fetched by another peer
  piece->completeBlock(1);
  auto first = factory.createRequestMessages(1, true);
  ASSERT_EQ(1u, first.size());
  dispatcher.addMessageToQueue(std::move(first[0]));
  const auto rest = texts(factory.createRequestMessages(10, true));
  ASSERT_EQ(1u, rest.size());
  std::set<std::string> all{rest[0], dispatcher.getMessageQueue()[0]->toString()};
  EXPECT_EQ((std::set<std::string>{"request index=0, begin=0, length=16384",
                                   "request index=0, begin=32768, length=16384"}),
            all);
  factory.addTargetPiece(download.storage->getMissingPiece(1, 7));
  EXPECT_EQ(2u, factory.createRequestMessages(2, true).size());
}

TEST_F(RequestFactoryTest, ChokeGivesBackAllButAllowedFastPieces) {
  target(0);
  target(1);
  target(2);
  peer->addPeerAllowedIndex(1);
  factory.doChokedAction();
  EXPECT_EQ(std::vector<size_t>{1}, factory.getTargetPieceIndexes());
  EXPECT_FALSE(download.storage->isPieceUsed(0));
  EXPECT_TRUE(download.storage->isPieceUsed(1));
  EXPECT_FALSE(download.storage->isPieceUsed(2));
}

TEST_F(RequestFactoryTest, CompletedPiecesLeaveTheListKeepingTheOrderOfTheRest) {
  target(0);
  auto done = target(1);
  target(2);
  done->setAllBlock();
  EXPECT_EQ(9u - 3u, factory.countMissingBlock());
  factory.removeCompletedPiece();
  EXPECT_EQ((std::vector<size_t>{0, 2}), factory.getTargetPieceIndexes());
}

TEST_F(RequestFactoryTest, RemovingATargetAbortsItsRequestsAndReleasesIt) {
  auto piece = target(0);
  for (auto& m : factory.createRequestMessages(3, false)) {
    dispatcher.addMessageToQueue(std::move(m));
  }
  EXPECT_EQ(3u, dispatcher.countOutstandingRequest());
  factory.removeTargetPiece(piece);
  EXPECT_EQ(0u, dispatcher.countOutstandingRequest());
  EXPECT_EQ(0u, factory.countTargetPiece());
  EXPECT_FALSE(download.storage->isPieceUsed(0));
}

}  // namespace
}  // namespace quarn
