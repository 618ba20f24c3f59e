#include "bittorrent/AbstractBtMessage.h"

#include "bittorrent/Peer.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "storage/PieceStorage.h"

namespace quarn {

void AbstractBtMessage::validate() {
  if (validator_) {
    validator_->validate();
  }
}

void AbstractBtMessage::checkSeeder() const {
  if (peer_->isSeeder() && pieceStorage_->downloadFinished()) {
    throw DL_ABORT_EX("Client is in seed state: Good Bye Seeder;)");
  }
}

void AbstractBtMessage::checkFastExtension(const char* format) const {
  if (!peer_->isFastExtensionEnabled()) {
    throw DL_ABORT_EX(fmt(format, toString().c_str()));
  }
}

}  // namespace quarn
