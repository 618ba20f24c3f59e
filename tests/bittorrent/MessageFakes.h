#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bittorrent/BtHandshakeMessage.h"
#include "bittorrent/BtMessage.h"
#include "bittorrent/BtMessageDispatcher.h"
#include "bittorrent/BtMessageFactory.h"
#include "bittorrent/BtPieceMessage.h"
#include "bittorrent/BtRequestFactory.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/RangeBtMessage.h"
#include "bittorrent/RequestSlot.h"
#include "net/ProgressUpdate.h"

namespace quarn::test {

// Records what the messages ask of the connection's collaborators.
struct FakeDispatcher : BtMessageDispatcher {
  void addMessageToQueue(std::unique_ptr<BtMessage> message) override {
    message->onQueued();
    queue.push_back(std::move(message));
  }
  void doChokedAction() override { ++chokedActions; }
  void doCancelSendingPieceAction(size_t index, int32_t begin, int32_t length) override {
    cancels.push_back({index, begin, length});
  }
  void addOutstandingRequest(std::unique_ptr<RequestSlot> slot) override {
    slots.push_back(std::move(slot));
  }
  const RequestSlot* getOutstandingRequest(size_t index, int32_t begin, int32_t length) override {
    for (const auto& s : slots) {
      if (s->getIndex() == index && s->getBegin() == begin && s->getLength() == length) {
        return s.get();
      }
    }
    return nullptr;
  }
  void removeOutstandingRequest(const RequestSlot* slot) override {
    std::erase_if(slots, [slot](const auto& s) { return s.get() == slot; });
  }
  size_t countOutstandingUpload() override { return queue.size(); }
  void sendMessages() override {}
  void doAbortOutstandingRequestAction(const std::shared_ptr<Piece>&) override {}
  void doChokingAction() override {}
  void checkRequestSlotAndDoNecessaryThing() override {}
  bool isSendingInProgress() override { return false; }
  size_t countMessageInQueue() override { return queue.size(); }
  size_t countOutstandingRequest() override { return slots.size(); }
  bool isOutstandingRequest(size_t, size_t) override { return false; }

  std::vector<std::unique_ptr<BtMessage>> queue;
  std::vector<std::unique_ptr<RequestSlot>> slots;
  std::vector<BtCancelSendingPieceEvent> cancels;
  int chokedActions = 0;
};

// Makes bare messages; their text tells which answer was queued.
struct FakeMessageFactory : BtMessageFactory {
  std::unique_ptr<BtMessage> createPieceMessage(size_t index, int32_t begin,
                                                int32_t length) override {
    return std::make_unique<BtPieceMessage>(index, begin, length);
  }
  std::unique_ptr<BtMessage> createRejectMessage(size_t index, int32_t begin,
                                                 int32_t length) override {
    return std::make_unique<BtRejectMessage>(index, begin, length);
  }
  // Not used by the message tests.
  std::unique_ptr<BtMessage> createBtMessage(const unsigned char*, size_t) override {
    return nullptr;
  }
  std::unique_ptr<BtHandshakeMessage> createHandshakeMessage(const unsigned char*,
                                                             size_t) override {
    return nullptr;
  }
  std::unique_ptr<BtHandshakeMessage> createHandshakeMessage(const unsigned char*,
                                                             const unsigned char*) override {
    return nullptr;
  }
  std::unique_ptr<BtMessage> createRequestMessage(const std::shared_ptr<Piece>&, size_t) override {
    return nullptr;
  }
  std::unique_ptr<BtMessage> createCancelMessage(size_t index, int32_t begin,
                                                 int32_t length) override {
    return std::make_unique<BtCancelMessage>(index, begin, length);
  }
  std::unique_ptr<BtMessage> createHaveMessage(size_t) override { return nullptr; }
  std::unique_ptr<BtMessage> createChokeMessage() override { return nullptr; }
  std::unique_ptr<BtMessage> createUnchokeMessage() override { return nullptr; }
  std::unique_ptr<BtMessage> createInterestedMessage() override { return nullptr; }
  std::unique_ptr<BtMessage> createNotInterestedMessage() override { return nullptr; }
  std::unique_ptr<BtMessage> createBitfieldMessage() override { return nullptr; }
  std::unique_ptr<BtMessage> createKeepAliveMessage() override { return nullptr; }
  std::unique_ptr<BtMessage> createHaveAllMessage() override { return nullptr; }
  std::unique_ptr<BtMessage> createHaveNoneMessage() override { return nullptr; }
  std::unique_ptr<BtMessage> createAllowedFastMessage(size_t) override { return nullptr; }
  std::unique_ptr<BtMessage> createPortMessage(uint16_t) override { return nullptr; }
  std::unique_ptr<BtMessage> createBtExtendedMessage(std::unique_ptr<ExtensionMessage>) override {
    return nullptr;
  }
};

struct FakeRequestFactory : BtRequestFactory {
  void doChokedAction() override { ++chokedActions; }
  void removeTargetPiece(const std::shared_ptr<Piece>& piece) override { removed.push_back(piece); }
  void addTargetPiece(const std::shared_ptr<Piece>&) override {}
  void removeAllTargetPiece() override {}
  size_t countTargetPiece() override { return 0; }
  size_t countMissingBlock() override { return 0; }
  void removeCompletedPiece() override {}
  std::vector<std::unique_ptr<BtMessage>> createRequestMessages(size_t, bool) override {
    return {};
  }
  std::vector<size_t> getTargetPieceIndexes() const override { return {}; }
  int chokedActions = 0;
  std::vector<std::shared_ptr<Piece>> removed;
};

struct FakePeerStorage : PeerStorage {
  bool addPeer(const std::shared_ptr<Peer>& peer) override {
    added.push_back(peer);
    return true;
  }
  void addPeer(const std::vector<std::shared_ptr<Peer>>& peers) override {
    added.insert(added.end(), peers.begin(), peers.end());
  }
  void executeChoke() override { ++chokeRounds; }
  void addBadPeer(const std::string& ipaddr) override { bad.push_back(ipaddr); }
  std::shared_ptr<Peer> addAndCheckoutPeer(const std::shared_ptr<Peer>& peer, int64_t) override {
    return peer;
  }
  size_t countAllPeer() const override { return added.size(); }
  const std::deque<std::shared_ptr<Peer>>& getDroppedPeers() override { return dropped; }
  bool isPeerAvailable() override { return false; }
  const std::set<std::shared_ptr<Peer>>& getUsedPeers() override { return used; }
  bool isBadPeer(const std::string&) override { return false; }
  std::shared_ptr<Peer> checkoutPeer(int64_t) override { return nullptr; }
  void returnPeer(const std::shared_ptr<Peer>&) override {}
  bool chokeRoundIntervalElapsed() override { return false; }
  std::deque<std::shared_ptr<Peer>> dropped;
  std::set<std::shared_ptr<Peer>> used;
  std::vector<std::shared_ptr<Peer>> added;
  std::vector<std::string> bad;
  int chokeRounds = 0;
};

// Keeps what was pushed and reports it written in pieces of `chunk` bytes.
struct FakeConnection : PeerConnection {
  FakeConnection() : PeerConnection(0, nullptr, nullptr) {}
  void pushBytes(std::vector<unsigned char> bytes,
                 std::unique_ptr<ProgressUpdate> progressUpdate) override {
    if (progressUpdate) {
      for (size_t done = 0; done < bytes.size();) {
        const size_t n = std::min(chunk, bytes.size() - done);
        done += n;
        progressUpdate->update(n, done == bytes.size());
      }
    }
    pushed.emplace_back(bytes.begin(), bytes.end());
  }
  size_t chunk = 7;
  std::vector<std::string> pushed;
};

}  // namespace quarn::test
