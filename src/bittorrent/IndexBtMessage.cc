#include "bittorrent/IndexBtMessage.h"

#include "bittorrent/Peer.h"
#include "foundation/fmt.h"
#include "net/ProgressUpdate.h"
#include "storage/PieceStorage.h"

namespace quarn {

namespace {

// Records the allowed-fast grant once the message has left.
class ThisProgressUpdate : public ProgressUpdate {
 public:
  ThisProgressUpdate(std::shared_ptr<Peer> peer, size_t index)
      : peer_(std::move(peer)), index_(index) {}
  void update(size_t /*length*/, bool complete) override {
    if (complete) {
      peer_->addAmAllowedIndex(index_);
    }
  }

 private:
  std::shared_ptr<Peer> peer_;
  size_t index_;
};

}  // namespace

std::vector<unsigned char> IndexBtMessage::createMessage() {
  std::vector<unsigned char> msg(9);
  bittorrent::createPeerMessageString(msg.data(), msg.size(), 5, getId());
  bittorrent::setIntParam(&msg[5], static_cast<uint32_t>(index_));
  return msg;
}

std::string IndexBtMessage::toString() const {
  return fmt("%s index=%lu", getName().c_str(), static_cast<unsigned long>(index_));
}

void BtHaveMessage::doReceivedAction() {
  if (isMetadataGetMode() || getPeer()->hasPiece(getIndex())) {
    return;
  }
  getPeer()->updateBitfield(getIndex(), 1);
  getPieceStorage()->addPieceStats(getIndex());
  checkSeeder();
}

void BtAllowedFastMessage::doReceivedAction() {
  checkFastExtension("%s received while fast extension is disabled");
  if (!isMetadataGetMode()) {
    getPeer()->addPeerAllowedIndex(getIndex());
  }
}

std::unique_ptr<ProgressUpdate> BtAllowedFastMessage::getProgressUpdate() {
  return std::make_unique<ThisProgressUpdate>(getPeer(), getIndex());
}

}  // namespace quarn
