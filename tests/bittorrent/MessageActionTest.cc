#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"
#include "bittorrent/BtBitfieldMessage.h"
#include "bittorrent/BtPieceMessage.h"
#include "bittorrent/BtPortMessage.h"
#include "bittorrent/DHTPortReceiver.h"
#include "bittorrent/IndexBtMessage.h"
#include "bittorrent/MessageFakes.h"
#include "bittorrent/Peer.h"
#include "bittorrent/RangeBtMessage.h"
#include "bittorrent/ZeroBtMessage.h"
#include "foundation/DlAbortEx.h"
#include "foundation/MessageDigest.h"
#include "storage/DownloadFixture.h"
#include "storage/Piece.h"

namespace quarn {
namespace {

using namespace quarn::test;

constexpr int32_t PIECE_LENGTH = 32768;
constexpr int32_t BLOCK = 16384;

// A torrent of two pieces on disk with one connected peer and the fakes the
// messages talk to.
class MessageActionTest : public ::testing::Test {
 protected:
  MessageActionTest()
      : download(dir.file("data"), PIECE_LENGTH, 2 * PIECE_LENGTH),
        peer(std::make_shared<Peer>("10.1.2.3", 6881)) {
    for (size_t i = 0; i < data.size(); ++i) {
      data[i] = static_cast<char>(i * 7 + i / 1000);
    }
    std::vector<std::string> hashes;
    for (int i = 0; i < 2; ++i) {
      hashes.push_back(
          MessageDigest::sha1()->update(data.data() + i * PIECE_LENGTH, PIECE_LENGTH).digest());
    }
    download.ctx->setPieceHashes("sha-1", hashes.begin(), hashes.end());
    download.storage->getDiskAdaptor()->initAndOpenFile();
    peer->allocateSessionResource(PIECE_LENGTH, 2 * PIECE_LENGTH);
  }

  template <typename T>
  T& wire(T& msg) {
    msg.setCuid(1);
    msg.setPieceStorage(download.storage.get());
    msg.setPeer(peer);
    msg.setBtMessageDispatcher(&dispatcher);
    msg.setBtMessageFactory(&factory);
    msg.setBtRequestFactory(&requestFactory);
    msg.setPeerConnection(&connection);
    return msg;
  }

  // Marks piece index complete on this side.
  void havePiece(size_t index) {
    auto piece = download.storage->getPiece(index);
    piece->setAllBlock();
    download.storage->completePiece(piece);
  }

  std::vector<std::string> queuedTexts() const {
    std::vector<std::string> texts;
    for (const auto& m : dispatcher.queue) {
      texts.push_back(m->toString());
    }
    return texts;
  }

  // Receives one block as the receiver would: from the payload buffer.
  void receiveBlock(size_t index, int32_t begin, const char* bytes, int32_t length) {
    std::string payload(9, '\0');
    payload[0] = 7;
    payload.append(bytes, length);
    BtPieceMessage msg(index, begin, length);
    wire(msg);
    msg.setDownloadContext(download.ctx.get());
    msg.setPeerStorage(&peerStorage);
    msg.setMsgPayload(reinterpret_cast<const unsigned char*>(payload.data()));
    msg.doReceivedAction();
  }

  // Queues a request for a block of a piece that this connection checked out,
  // as the request factory does.
  void request(size_t index, int32_t begin, size_t blockIndex) {
    if (blockIndex == 0) {
      download.storage->getMissingPiece(index, 1);
    }
    dispatcher.addMessageToQueue(
        std::unique_ptr<BtMessage>(&wire(*new BtRequestMessage(index, begin, BLOCK, blockIndex))));
  }

  TempDir dir;
  DownloadFixture download;
  std::string data = std::string(2 * PIECE_LENGTH, '\0');
  std::shared_ptr<Peer> peer;
  FakeDispatcher dispatcher;
  FakeMessageFactory factory;
  FakeRequestFactory requestFactory;
  FakePeerStorage peerStorage;
  FakeConnection connection;
};

TEST_F(MessageActionTest, RequestIsServedRejectedOrDropped) {
  // This side has piece 0 and misses piece 1.
  havePiece(0);
  struct Row {
    const char* what;
    size_t index;
    bool amChoking, allowedFast, fast;
    const char* answer;  // null: dropped
  };
  const Row rows[] = {
      {"unchoked, have", 0, false, false, false, "piece index=0, begin=0, length=16384"},
      {"choked, fast", 0, true, false, true, "reject index=0, begin=0, length=16384"},
      {"choked, no fast", 0, true, false, false, nullptr},
      {"choked, allowed fast", 0, true, true, true, "piece index=0, begin=0, length=16384"},
      {"missing piece, fast", 1, false, false, true, "reject index=1, begin=0, length=16384"},
      {"missing piece, no fast", 1, false, false, false, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    dispatcher.queue.clear();
    peer->allocateSessionResource(PIECE_LENGTH, 2 * PIECE_LENGTH);
    peer->amChoking(row.amChoking);
    peer->setFastExtensionEnabled(row.fast);
    if (row.allowedFast) {
      peer->addAmAllowedIndex(row.index);
    }
    BtRequestMessage msg(row.index, 0, BLOCK);
    wire(msg).doReceivedAction();
    EXPECT_EQ(row.answer ? std::vector<std::string>{row.answer} : std::vector<std::string>{},
              queuedTexts());
  }
}

TEST_F(MessageActionTest, HaveAndBitfieldTrackThePeersPieces) {
  BtHaveMessage have(1);
  wire(have).doReceivedAction();
  EXPECT_TRUE(peer->hasPiece(1));
  EXPECT_FALSE(peer->isSeeder());
  const unsigned char all[] = {0xc0};
  BtBitfieldMessage bitfield(all, 1);
  wire(bitfield).doReceivedAction();
  EXPECT_TRUE(peer->isSeeder());
  // A seeder talking to a finished download has nothing to give.
  havePiece(0);
  havePiece(1);
  BtBitfieldMessage again(all, 1);
  try {
    wire(again).doReceivedAction();
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ("Client is in seed state: Good Bye Seeder;)", std::string(e.what()));
  }
}

TEST_F(MessageActionTest, FastMessagesNeedTheFastExtension) {
  BtHaveAllMessage haveAll;
  BtHaveNoneMessage haveNone;
  BtAllowedFastMessage allowed(1);
  BtRejectMessage reject(0, 0, BLOCK);
  const std::pair<BtMessage*, const char*> cases[] = {
      {&wire(haveAll), "have all received while fast extension is disabled"},
      {&wire(haveNone), "have none received while fast extension is disabled"},
      {&wire(allowed), "allowed fast index=1 received while fast extension is disabled"},
      {&wire(reject),
       "reject index=0, begin=0, length=16384 received while fast extension is disabled."},
  };
  for (const auto& [msg, text] : cases) {
    try {
      msg->doReceivedAction();
      ADD_FAILURE() << text;
    } catch (const DlAbortEx& e) {
      EXPECT_EQ(std::string(text), e.what());
    }
  }
  peer->setFastExtensionEnabled(true);
  allowed.doReceivedAction();
  EXPECT_TRUE(peer->isInPeerAllowedIndexSet(1));
  haveAll.doReceivedAction();
  EXPECT_TRUE(peer->isSeeder());
  request(0, 0, 0);
  ASSERT_EQ(1u, dispatcher.slots.size());
  reject.doReceivedAction();
  EXPECT_TRUE(dispatcher.slots.empty());
}

TEST_F(MessageActionTest, ChokeInterestAndCancel) {
  BtChokeMessage choke;
  wire(choke).doReceivedAction();
  EXPECT_TRUE(peer->peerChoking());
  EXPECT_EQ(1, dispatcher.chokedActions);
  EXPECT_EQ(1, requestFactory.chokedActions);
  BtUnchokeMessage unchoke;
  wire(unchoke).doReceivedAction();
  EXPECT_FALSE(peer->peerChoking());

  BtInterestedMessage interested;
  interested.setPeerStorage(&peerStorage);
  wire(interested).doReceivedAction();
  EXPECT_TRUE(peer->peerInterested());
  EXPECT_EQ(1, peerStorage.chokeRounds);
  BtNotInterestedMessage notInterested;
  notInterested.setPeerStorage(&peerStorage);
  wire(notInterested).doReceivedAction();  // still choked: no round
  EXPECT_EQ(1, peerStorage.chokeRounds);

  BtCancelMessage cancel(1, 16384, BLOCK);
  wire(cancel).doReceivedAction();
  ASSERT_EQ(1u, dispatcher.cancels.size());
  EXPECT_EQ(16384, dispatcher.cancels[0].begin);

  // A metadata-only connection ignores what the peer says about pieces.
  BtChokeMessage quiet;
  wire(quiet).enableMetadataGetMode();
  peer->peerChoking(false);
  quiet.doReceivedAction();
  EXPECT_FALSE(peer->peerChoking());
  EXPECT_EQ(1, dispatcher.chokedActions);
}

TEST_F(MessageActionTest, PortMessageGoesToTheDhtWhenItRuns) {
  struct Receiver : DHTPortReceiver {
    void onPeerPort(const std::string& address, uint16_t port) override {
      seen.push_back(address + ":" + std::to_string(port));
    }
    std::vector<std::string> seen;
  } receiver;
  BtPortMessage noDht(6881);
  wire(noDht).doReceivedAction();
  BtPortMessage zero(0);
  wire(zero).setDHTPortReceiver(&receiver);
  zero.doReceivedAction();
  EXPECT_TRUE(receiver.seen.empty());
  BtPortMessage port(6882);
  wire(port).setDHTPortReceiver(&receiver);
  port.doReceivedAction();
  EXPECT_EQ(std::vector<std::string>{"10.1.2.3:6882"}, receiver.seen);
}

TEST_F(MessageActionTest, QueuedRequestsAndAllowedFastGrants) {
  request(1, BLOCK, 1);
  ASSERT_EQ(1u, dispatcher.slots.size());
  EXPECT_EQ(1u, dispatcher.slots[0]->getBlockIndex());
  EXPECT_EQ(1u, dispatcher.slots[0]->getPiece()->getIndex());
  auto& queued = dispatcher.queue[0];
  queued->onAbortOutstandingRequestEvent({download.storage->getPiece(0)});
  EXPECT_FALSE(queued->isInvalidate());
  queued->onAbortOutstandingRequestEvent({dispatcher.slots[0]->getPiece()});
  EXPECT_TRUE(queued->isInvalidate());
  queued->send();
  EXPECT_TRUE(connection.pushed.empty());

  BtAllowedFastMessage allowed(1);
  wire(allowed).send();
  ASSERT_EQ(1u, connection.pushed.size());
  EXPECT_TRUE(peer->isInAmAllowedIndexSet(1));
}

TEST_F(MessageActionTest, ReceivedBlocksCompleteAVerifiedPiece) {
  request(0, 0, 0);
  request(0, BLOCK, 1);
  receiveBlock(0, 0, data.data(), BLOCK);
  EXPECT_FALSE(download.storage->hasPiece(0));
  // An unrequested block is counted but never written.
  receiveBlock(1, 0, std::string(BLOCK, 'x').data(), BLOCK);
  receiveBlock(0, BLOCK, data.data() + BLOCK, BLOCK);
  EXPECT_TRUE(download.storage->hasPiece(0));
  EXPECT_TRUE(dispatcher.slots.empty());
  EXPECT_EQ(3 * BLOCK, peer->getSessionDownloadLength());
  download.storage->getDiskAdaptor()->closeFile();
  const std::string written = readFile(dir.file("data"));
  EXPECT_TRUE(data.substr(0, PIECE_LENGTH) == written.substr(0, PIECE_LENGTH));
  EXPECT_EQ(std::string::npos, written.find('x', PIECE_LENGTH));
}

TEST_F(MessageActionTest, BadPieceBansThePeer) {
  request(1, 0, 0);
  request(1, BLOCK, 1);
  const std::string wrong(BLOCK, 'w');
  receiveBlock(1, 0, wrong.data(), BLOCK);
  try {
    receiveBlock(1, BLOCK, wrong.data(), BLOCK);
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ("Bad piece hash.", std::string(e.what()));
  }
  EXPECT_EQ(std::vector<std::string>{"10.1.2.3"}, peerStorage.bad);
  ASSERT_EQ(1u, requestFactory.removed.size());
  EXPECT_FALSE(download.storage->hasPiece(1));
  EXPECT_FALSE(requestFactory.removed[0]->hasBlock(0));
}

TEST_F(MessageActionTest, SentPieceCountsOnlyBlockBytesAsUploaded) {
  download.storage->getDiskAdaptor()->writeData(reinterpret_cast<const unsigned char*>(data.data()),
                                                data.size(), 0);
  BtPieceMessage msg(1, BLOCK, BLOCK);
  wire(msg).setDownloadContext(download.ctx.get());
  msg.send();
  ASSERT_EQ(1u, connection.pushed.size());
  const std::string& sent = connection.pushed[0];
  EXPECT_EQ(std::string("\x00\x00\x40\x09\x07\x00\x00\x00\x01\x00\x00\x40\x00", 13),
            sent.substr(0, 13));
  EXPECT_TRUE(data.substr(PIECE_LENGTH + BLOCK, BLOCK) == sent.substr(13));
  EXPECT_EQ(BLOCK, peer->getSessionUploadLength());
  EXPECT_EQ(BLOCK, download.ctx->getNetStat().getSessionUploadLength());
}

TEST_F(MessageActionTest, ChokeAndCancelTurnQueuedPiecesIntoRejects) {
  peer->setFastExtensionEnabled(true);
  peer->addAmAllowedIndex(1);
  BtPieceMessage allowed(1, 0, BLOCK);
  BtPieceMessage plain(0, 0, BLOCK);
  wire(allowed).onChokingEvent({});
  wire(plain).onChokingEvent({});
  EXPECT_FALSE(allowed.isInvalidate());
  EXPECT_TRUE(plain.isInvalidate());
  allowed.onCancelSendingPieceEvent({1, 0, BLOCK - 1});
  EXPECT_FALSE(allowed.isInvalidate());
  allowed.onCancelSendingPieceEvent({1, 0, BLOCK});
  EXPECT_TRUE(allowed.isInvalidate());
  EXPECT_EQ((std::vector<std::string>{"reject index=0, begin=0, length=16384",
                                      "reject index=1, begin=0, length=16384"}),
            queuedTexts());
  plain.send();
  EXPECT_TRUE(connection.pushed.empty());
}

}  // namespace
}  // namespace quarn
