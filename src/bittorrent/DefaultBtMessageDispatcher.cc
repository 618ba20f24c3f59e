#include "bittorrent/DefaultBtMessageDispatcher.h"

#include <vector>

#include "bittorrent/BtEvents.h"
#include "bittorrent/BtMessage.h"
#include "bittorrent/BtMessageFactory.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerConnection.h"
#include "bittorrent/RequestSlot.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "storage/DownloadContext.h"
#include "storage/Piece.h"

namespace quarn {

namespace {

void logSlotDeletion(int64_t cuid, const RequestSlot& slot, const char* why) {
  QLOG_DEBUG(fmt("CUID#%lld - Deleting request slot index=%lu, begin=%d, blockIndex=%lu%s",
                 static_cast<long long>(cuid), static_cast<unsigned long>(slot.getIndex()),
                 slot.getBegin(), static_cast<unsigned long>(slot.getBlockIndex()), why));
}

}  // namespace

DefaultBtMessageDispatcher::~DefaultBtMessageDispatcher() {
  QLOG_DEBUG("DefaultBtMessageDispatcher::deleted");
}

void DefaultBtMessageDispatcher::addMessageToQueue(std::unique_ptr<BtMessage> message) {
  message->onQueued();
  messageQueue_.push_back(std::move(message));
}

bool DefaultBtMessageDispatcher::uploadLimitExceeded() const {
  if (requestGroupMan_ && requestGroupMan_->doesOverallUploadSpeedExceed()) {
    return true;
  }
  RequestGroup* group = downloadContext_ ? downloadContext_->getOwnerRequestGroup() : nullptr;
  return group && group->doesUploadSpeedExceed();
}

void DefaultBtMessageDispatcher::sendingPass() {
  std::vector<std::unique_ptr<BtMessage>> heldBack;
  while (!messageQueue_.empty()) {
    auto message = std::move(messageQueue_.front());
    messageQueue_.pop_front();
    if (message->isUploading() && uploadLimitExceeded()) {
      heldBack.push_back(std::move(message));
    } else {
      message->send();
    }
  }
  // Control messages overtook the held-back pieces; the pieces go first
  // once the speed has fallen.
  for (auto it = heldBack.rbegin(); it != heldBack.rend(); ++it) {
    messageQueue_.push_front(std::move(*it));
  }
}

void DefaultBtMessageDispatcher::sendMessages() {
  if (peerConnection_->getBufferEntrySize() < MAX_PENDING_BUFFERS) {
    sendingPass();
  }
  peerConnection_->sendPendingData();
}

template <typename F>
void DefaultBtMessageDispatcher::forEachQueued(F f) {
  std::vector<BtMessage*> snapshot;
  snapshot.reserve(messageQueue_.size());
  for (const auto& m : messageQueue_) {
    snapshot.push_back(m.get());
  }
  for (auto* m : snapshot) {
    f(*m);
  }
}

void DefaultBtMessageDispatcher::doCancelSendingPieceAction(size_t index, int32_t begin,
                                                            int32_t length) {
  const BtCancelSendingPieceEvent event{index, begin, length};
  forEachQueued([&](BtMessage& m) { m.onCancelSendingPieceEvent(event); });
}

void DefaultBtMessageDispatcher::doAbortOutstandingRequestAction(
    const std::shared_ptr<Piece>& piece) {
  std::erase_if(requestSlots_, [&](const std::unique_ptr<RequestSlot>& slot) {
    if (slot->getIndex() != piece->getIndex()) {
      return false;
    }
    logSlotDeletion(cuid_, *slot, "");
    piece->cancelBlock(slot->getBlockIndex());
    return true;
  });
  const BtAbortOutstandingRequestEvent event{piece};
  forEachQueued([&](BtMessage& m) { m.onAbortOutstandingRequestEvent(event); });
}

void DefaultBtMessageDispatcher::doChokedAction() {
  std::erase_if(requestSlots_, [&](const std::unique_ptr<RequestSlot>& slot) {
    if (peer_->isInPeerAllowedIndexSet(slot->getIndex())) {
      return false;
    }
    logSlotDeletion(cuid_, *slot, " because localhost got choked.");
    slot->getPiece()->cancelBlock(slot->getBlockIndex());
    return true;
  });
}

void DefaultBtMessageDispatcher::doChokingAction() {
  const BtChokingEvent event;
  forEachQueued([&](BtMessage& m) { m.onChokingEvent(event); });
}

void DefaultBtMessageDispatcher::checkRequestSlotAndDoNecessaryThing() {
  std::vector<std::unique_ptr<BtMessage>> cancels;
  std::erase_if(requestSlots_, [&](const std::unique_ptr<RequestSlot>& slot) {
    const auto& piece = slot->getPiece();
    if (slot->isTimeout(requestTimeout_)) {
      logSlotDeletion(cuid_, *slot, " because of time out");
      piece->cancelBlock(slot->getBlockIndex());
      peer_->snubbing(true);
      return true;
    }
    if (piece->hasBlock(slot->getBlockIndex())) {
      logSlotDeletion(cuid_, *slot, " because the block has been acquired.");
      cancels.push_back(messageFactory_->createCancelMessage(slot->getIndex(), slot->getBegin(),
                                                             slot->getLength()));
      return true;
    }
    return false;
  });
  for (auto& m : cancels) {
    addMessageToQueue(std::move(m));
  }
}

bool DefaultBtMessageDispatcher::isSendingInProgress() {
  return peerConnection_->getBufferEntrySize() > 0;
}

bool DefaultBtMessageDispatcher::isOutstandingRequest(size_t index, size_t blockIndex) {
  for (const auto& slot : requestSlots_) {
    if (slot->getIndex() == index && slot->getBlockIndex() == blockIndex) {
      return true;
    }
  }
  return false;
}

const RequestSlot* DefaultBtMessageDispatcher::getOutstandingRequest(size_t index, int32_t begin,
                                                                     int32_t length) {
  for (const auto& slot : requestSlots_) {
    if (slot->getIndex() == index && slot->getBegin() == begin && slot->getLength() == length) {
      return slot.get();
    }
  }
  return nullptr;
}

void DefaultBtMessageDispatcher::removeOutstandingRequest(const RequestSlot* slot) {
  for (auto it = requestSlots_.begin(); it != requestSlots_.end(); ++it) {
    const RequestSlot& s = **it;
    if (s.getIndex() == slot->getIndex() && s.getBegin() == slot->getBegin() &&
        s.getLength() == slot->getLength()) {
      logSlotDeletion(cuid_, s, "");
      s.getPiece()->cancelBlock(s.getBlockIndex());
      requestSlots_.erase(it);
      return;
    }
  }
}

void DefaultBtMessageDispatcher::addOutstandingRequest(std::unique_ptr<RequestSlot> slot) {
  requestSlots_.push_back(std::move(slot));
}

size_t DefaultBtMessageDispatcher::countOutstandingUpload() {
  size_t n = 0;
  for (const auto& m : messageQueue_) {
    n += m->isUploading() ? 1 : 0;
  }
  return n;
}

}  // namespace quarn
