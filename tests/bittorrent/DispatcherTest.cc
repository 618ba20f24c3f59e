#include <gtest/gtest.h>

#include "TempDir.h"
#include "bittorrent/BtPieceMessage.h"
#include "bittorrent/DefaultBtMessageDispatcher.h"
#include "bittorrent/DefaultBtMessageFactory.h"
#include "bittorrent/IndexBtMessage.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/RangeBtMessage.h"
#include "bittorrent/RequestSlot.h"
#include "bittorrent/SocketPair.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "foundation/wallclock.h"
#include "storage/DownloadFixture.h"
#include "storage/Piece.h"

namespace quarn {
namespace {

using namespace quarn::test;
using namespace std::chrono_literals;

constexpr int32_t PIECE_LENGTH = 32768;

// A dispatcher on a real connection, with the factory that makes its
// cancel messages, over a four-piece torrent.
class DispatcherTest : public ::testing::Test {
 protected:
  DispatcherTest() : download(dir.file("data"), PIECE_LENGTH, 4 * PIECE_LENGTH) {
    peer->allocateSessionResource(PIECE_LENGTH, 4 * PIECE_LENGTH);
    factory.setPeer(peer);
    factory.setDownloadContext(download.ctx.get());
    factory.setPieceStorage(download.storage.get());
    factory.setBtMessageDispatcher(&dispatcher);
    factory.setPeerConnection(&connection);
    dispatcher.setPeer(peer);
    dispatcher.setDownloadContext(download.ctx.get());
    dispatcher.setPeerConnection(&connection);
    dispatcher.setBtMessageFactory(&factory);
    dispatcher.setRequestTimeout(60s);
  }
  // Requests a block of a piece this connection checked out.
  std::shared_ptr<Piece> request(size_t index, size_t blockIndex) {
    auto piece = download.storage->getMissingPiece(index, 1);
    size_t b = 0;
    while (piece->getMissingUnusedBlockIndex(b) && b != blockIndex) {
    }
    dispatcher.addMessageToQueue(factory.createRequestMessage(piece, blockIndex));
    return piece;
  }
  std::vector<std::string> queueTexts() const {
    std::vector<std::string> out;
    for (const auto& m : dispatcher.getMessageQueue()) {
      out.push_back(m->toString());
    }
    return out;
  }

  TempDir dir;
  DownloadFixture download;
  std::shared_ptr<Peer> peer = std::make_shared<Peer>("10.0.0.2", 6881);
  SocketPair sockets;
  PeerConnection connection{5, peer, sockets.local};
  DefaultBtMessageFactory factory;
  DefaultBtMessageDispatcher dispatcher;
};

TEST_F(DispatcherTest, SendsQueuedMessagesInOrderAndFlushesEvenWhenEmpty) {
  dispatcher.addMessageToQueue(factory.createHaveMessage(1));
  dispatcher.addMessageToQueue(factory.createInterestedMessage());
  dispatcher.sendMessages();
  EXPECT_EQ(std::string("\x00\x00\x00\x05\x04\x00\x00\x00\x01\x00\x00\x00\x01\x02", 14),
            sockets.readAll());
  EXPECT_EQ(0u, dispatcher.countMessageInQueue());
  dispatcher.sendMessages();
  EXPECT_EQ("", sockets.readAll());
}

TEST_F(DispatcherTest, PeerChokeKeepsOnlyAllowedFastRequests) {
  auto fast = request(1, 0);
  auto plain = request(2, 0);
  peer->addPeerAllowedIndex(1);
  EXPECT_EQ(2u, dispatcher.countOutstandingRequest());
  dispatcher.doChokedAction();
  EXPECT_EQ(1u, dispatcher.countOutstandingRequest());
  EXPECT_TRUE(dispatcher.isOutstandingRequest(1, 0));
  EXPECT_FALSE(dispatcher.isOutstandingRequest(2, 0));
  EXPECT_TRUE(fast->isBlockUsed(0));
  EXPECT_FALSE(plain->isBlockUsed(0));
}

TEST_F(DispatcherTest, SlotMaintenanceTimesOutBeforeItCancels) {
  auto timedOut = request(0, 0);
  global::wallclock() = Timer(global::wallclock().getTime() + 30s);
  auto acquired = request(1, 1);
  auto waiting = request(2, 0);
  global::wallclock() = Timer(global::wallclock().getTime() + 30s);
  // Both blocks arrived through other peers meanwhile.
  timedOut->completeBlock(0);
  acquired->completeBlock(1);
  dispatcher.sendMessages();
  sockets.readAll();
  dispatcher.checkRequestSlotAndDoNecessaryThing();
  EXPECT_EQ(std::vector<std::string>{"cancel index=1, begin=16384, length=16384"}, queueTexts());
  EXPECT_EQ(1u, dispatcher.countOutstandingRequest());
  EXPECT_TRUE(dispatcher.isOutstandingRequest(2, 0));
  EXPECT_TRUE(peer->snubbing());
  EXPECT_FALSE(timedOut->isBlockUsed(0));
}

TEST_F(DispatcherTest, AbortDropsThePiecesSlotsAndItsUnsentRequests) {
  auto aborted = request(1, 0);
  request(2, 0);
  dispatcher.doAbortOutstandingRequestAction(aborted);
  EXPECT_FALSE(dispatcher.isOutstandingRequest(1, 0));
  EXPECT_TRUE(dispatcher.isOutstandingRequest(2, 0));
  EXPECT_FALSE(aborted->isBlockUsed(0));
  dispatcher.sendMessages();
  // Only the request of piece 2 goes out.
  EXPECT_EQ(std::string("\x00\x00\x00\x0d\x06\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x40\x00", 17),
            sockets.readAll());
}

TEST_F(DispatcherTest, RemovingASlotReleasesItsBlockAndUnknownSlotsAreIgnored) {
  auto piece = request(3, 1);
  RequestSlot other(3, 0, 16384, 0, piece);
  dispatcher.removeOutstandingRequest(&other);
  EXPECT_EQ(1u, dispatcher.countOutstandingRequest());
  ASSERT_NE(nullptr, dispatcher.getOutstandingRequest(3, 16384, 16384));
  dispatcher.removeOutstandingRequest(dispatcher.getOutstandingRequest(3, 16384, 16384));
  EXPECT_EQ(0u, dispatcher.countOutstandingRequest());
  EXPECT_FALSE(piece->isBlockUsed(1));
}

TEST_F(DispatcherTest, UploadsWaitWhileTheLimitIsExceededAndControlMessagesOvertake) {
  RequestGroup group(GroupId::create(), download.option);
  group.setDownloadContext(download.ctx);
  group.setMaxUploadSpeedLimit(1);
  download.ctx->getNetStat().updateUploadSpeed(1 << 20);
  ASSERT_TRUE(group.doesUploadSpeedExceed());
  dispatcher.addMessageToQueue(factory.createPieceMessage(0, 0, 16384));
  dispatcher.addMessageToQueue(factory.createHaveMessage(2));
  dispatcher.addMessageToQueue(factory.createPieceMessage(1, 16384, 16384));
  dispatcher.sendMessages();
  EXPECT_EQ(std::string("\x00\x00\x00\x05\x04\x00\x00\x00\x02", 9), sockets.readAll());
  EXPECT_EQ((std::vector<std::string>{"piece index=0, begin=0, length=16384",
                                      "piece index=1, begin=16384, length=16384"}),
            queueTexts());
  EXPECT_EQ(2u, dispatcher.countOutstandingUpload());
}

TEST_F(DispatcherTest, ChokingDropsQueuedUploads) {
  dispatcher.addMessageToQueue(factory.createPieceMessage(0, 0, 16384));
  dispatcher.doChokingAction();
  dispatcher.sendMessages();
  EXPECT_EQ("", sockets.readAll());
}

}  // namespace
}  // namespace quarn
