#include "bittorrent/UTMetadataRequestFactory.h"

#include "bittorrent/BtMessage.h"
#include "bittorrent/BtMessageFactory.h"
#include "bittorrent/ExtensionMessageRegistry.h"
#include "bittorrent/Peer.h"
#include "bittorrent/UTMetadataRequestExtensionMessage.h"
#include "bittorrent/UTMetadataRequestTracker.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "storage/Piece.h"
#include "storage/PieceStorage.h"

namespace quarn {

std::vector<std::unique_ptr<BtMessage>> UTMetadataRequestFactory::create(
    size_t num, PieceStorage* pieceStorage) {
  std::vector<std::unique_ptr<BtMessage>> requests;
  while (requests.size() < num) {
    std::vector<std::shared_ptr<Piece>> pieces;
    pieceStorage->getMissingPiece(pieces, 1, peer_->getBitfield(), peer_->getBitfieldLength(),
                                  tracker_->getAllTrackedIndex(), cuid_);
    if (pieces.empty()) {
      QLOG_DEBUG("No ut_metadata piece is available to download.");
      break;
    }
    for (const auto& piece : pieces) {
      if (requests.size() >= num) {
        // More than asked for: give the rest back at once.
        pieceStorage->cancelPiece(piece, cuid_);
        continue;
      }
      const size_t index = piece->getIndex();
      QLOG_DEBUG(fmt("Creating ut_metadata request index=%lu", static_cast<unsigned long>(index)));
      auto m = std::make_unique<UTMetadataRequestExtensionMessage>(
          peer_->getExtensionMessageID(EXT_UT_METADATA));
      m->setIndex(index);
      m->setDownloadContext(dctx_);
      m->setPeer(peer_);
      m->setBtMessageDispatcher(dispatcher_);
      m->setBtMessageFactory(messageFactory_);
      requests.push_back(messageFactory_->createBtExtendedMessage(std::move(m)));
      tracker_->add(index);
    }
  }
  return requests;
}

}  // namespace quarn
