// The payloads and receive actions of the three metadata exchange messages.
#include <algorithm>

#include "bittorrent/BtMessage.h"
#include "bittorrent/BtMessageDispatcher.h"
#include "bittorrent/BtMessageFactory.h"
#include "bittorrent/ExtensionMessageRegistry.h"
#include "bittorrent/Peer.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/UTMetadataDataExtensionMessage.h"
#include "bittorrent/UTMetadataRejectExtensionMessage.h"
#include "bittorrent/UTMetadataRequestExtensionMessage.h"
#include "bittorrent/UTMetadataRequestTracker.h"
#include "bittorrent/magnet.h"
#include "bittorrent/torrent_reader.h"
#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/Integer.h"
#include "foundation/LogMacros.h"
#include "foundation/MessageDigest.h"
#include "foundation/bencode2.h"
#include "foundation/fmt.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/Piece.h"
#include "storage/PieceStorage.h"
#include "storage/stored_data.h"

namespace quarn {

namespace {

enum MsgType { REQUEST = 0, DATA = 1, REJECT = 2 };

std::string header(MsgType type, size_t index, const size_t* totalSize = nullptr) {
  Dict dict;
  dict.put("msg_type", Integer::g(type));
  dict.put("piece", Integer::g(static_cast<int64_t>(index)));
  if (totalSize) {
    dict.put("total_size", Integer::g(static_cast<int64_t>(*totalSize)));
  }
  return bencode2::encode(&dict);
}

}  // namespace

std::string UTMetadataRequestExtensionMessage::getPayload() {
  return header(REQUEST, getIndex());
}

std::string UTMetadataRequestExtensionMessage::toString() const {
  return fmt("ut_metadata request piece=%lu", static_cast<unsigned long>(getIndex()));
}

void UTMetadataRequestExtensionMessage::doReceivedAction() {
  const auto* attrs = bittorrent::getTorrentAttrs(dctx_);
  const uint8_t id = peer_->getExtensionMessageID(EXT_UT_METADATA);
  std::unique_ptr<ExtensionMessage> answer;
  if (attrs->metadata.empty()) {
    auto reject = std::make_unique<UTMetadataRejectExtensionMessage>(id);
    reject->setIndex(getIndex());
    answer = std::move(reject);
  } else {
    const size_t piece = bittorrent::METADATA_PIECE_SIZE;
    const size_t size = attrs->metadata.size();
    if (getIndex() >= size / piece + (size % piece ? 1 : 0)) {
      throw DL_ABORT_EX(fmt("Metadata piece index is too big. piece=%lu",
                            static_cast<unsigned long>(getIndex())));
    }
    auto data = std::make_unique<UTMetadataDataExtensionMessage>(id);
    data->setIndex(getIndex());
    data->setTotalSize(size);
    data->setData(attrs->metadata.substr(getIndex() * piece, piece));
    answer = std::move(data);
  }
  dispatcher_->addMessageToQueue(messageFactory_->createBtExtendedMessage(std::move(answer)));
}

std::string UTMetadataRejectExtensionMessage::getPayload() {
  return header(REJECT, getIndex());
}

std::string UTMetadataRejectExtensionMessage::toString() const {
  return fmt("ut_metadata reject piece=%lu", static_cast<unsigned long>(getIndex()));
}

void UTMetadataRejectExtensionMessage::doReceivedAction() {
  throw DL_ABORT_EX("Drop connection because peer didn't offer metadata.");
}

std::string UTMetadataDataExtensionMessage::getPayload() {
  return header(DATA, getIndex(), &totalSize_) + data_;
}

std::string UTMetadataDataExtensionMessage::toString() const {
  return fmt("ut_metadata data piece=%lu", static_cast<unsigned long>(getIndex()));
}

void UTMetadataDataExtensionMessage::doReceivedAction() {
  const auto index = static_cast<unsigned long>(getIndex());
  // Only a metadata download tracks requests; anything else is unasked for.
  if (!tracker_ || !pieceStorage_ || !tracker_->tracks(getIndex())) {
    QLOG_DEBUG(fmt("ut_metadata index=%lu is not tracked", index));
    return;
  }
  QLOG_DEBUG(fmt("ut_metadata index=%lu found in tracking list", index));
  tracker_->remove(getIndex());
  auto* attrs = bittorrent::getTorrentAttrs(dctx_);
  // The storage is shaped by the size the first peer told; a block cut for
  // another size belongs to other metadata.
  if (totalSize_ != attrs->metadataSize) {
    throw DL_ABORT_EX(fmt("Bad ut_metadata data: total_size %lu differs from metadata_size %lu",
                          static_cast<unsigned long>(totalSize_),
                          static_cast<unsigned long>(attrs->metadataSize)));
  }
  auto piece = pieceStorage_->getPiece(getIndex());
  // A piece of another length would spill into its neighbour or past the
  // announced size.
  if (!piece || static_cast<int64_t>(data_.size()) != piece->getLength()) {
    throw DL_ABORT_EX(fmt("Bad ut_metadata data: wrong length %lu of piece=%lu",
                          static_cast<unsigned long>(data_.size()), index));
  }
  auto adaptor = pieceStorage_->getDiskAdaptor();
  adaptor->writeData(reinterpret_cast<const uint8_t*>(data_.data()), data_.size(),
                     static_cast<int64_t>(getIndex()) * bittorrent::METADATA_PIECE_SIZE);
  pieceStorage_->completePiece(piece);
  if (!pieceStorage_->downloadFinished()) {
    return;
  }
  const std::string metadata = readStoredData(adaptor);
  const std::string digest =
      MessageDigest::sha1()->update(metadata.data(), metadata.size()).digest();
  if (digest == attrs->infoHash) {
    QLOG_INFO("Got ut_metadata");
    return;
  }
  QLOG_INFO("Got wrong ut_metadata");
  for (size_t i = 0; i < dctx_->getNumPieces(); ++i) {
    pieceStorage_->markPieceMissing(i);
  }
  // The size may have been the lie: forget it, so that the next peer's size
  // is taken instead of dropping every honest peer for disagreeing with it.
  attrs->metadataSize = 0;
  throw DL_ABORT_EX("Got wrong ut_metadata");
}

}  // namespace quarn
