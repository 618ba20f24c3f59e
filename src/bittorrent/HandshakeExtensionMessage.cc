#include "bittorrent/HandshakeExtensionMessage.h"

#include "bittorrent/Peer.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/torrent_reader.h"
#include "engine/RequestGroup.h"
#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/Integer.h"
#include "foundation/LogMacros.h"
#include "foundation/String.h"
#include "foundation/bencode2.h"
#include "foundation/fmt.h"
#include "foundation/util_chars.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/PieceStorage.h"

namespace quarn {

std::string HandshakeExtensionMessage::getPayload() {
  Dict dict;
  auto m = Dict::g();
  for (int key = 0; key < MAX_EXTENSION; ++key) {
    if (uint8_t id = extreg_.getExtensionMessageID(key)) {
      m->put(strBtExtension(key), Integer::g(id));
    }
  }
  dict.put("m", std::move(m));
  if (metadataSize_) {
    dict.put("metadata_size", Integer::g(static_cast<int64_t>(metadataSize_)));
  }
  if (tcpPort_) {
    dict.put("p", Integer::g(tcpPort_));
  }
  if (!clientVersion_.empty()) {
    dict.put("v", clientVersion_);
  }
  return bencode2::encode(&dict);
}

std::string HandshakeExtensionMessage::toString() const {
  std::string s = fmt("%s client=%s, tcpPort=%u, metadataSize=%lu", EXTENSION_NAME,
                      util::percentEncode(clientVersion_).c_str(), tcpPort_,
                      static_cast<unsigned long>(metadataSize_));
  for (int key = 0; key < MAX_EXTENSION; ++key) {
    if (uint8_t id = extreg_.getExtensionMessageID(key)) {
      s += fmt(", %s=%u", strBtExtension(key), id);
    }
  }
  return s;
}

std::unique_ptr<HandshakeExtensionMessage> HandshakeExtensionMessage::create(
    const unsigned char* data, size_t length) {
  QLOG_DEBUG(
      fmt("Creating HandshakeExtensionMessage from %s", util::percentEncode(data, length).c_str()));
  auto decoded = bencode2::decode(data + 1, length - 1);
  const Dict* dict = valueAs<Dict>(decoded);
  if (!dict) {
    throw DL_ABORT_EX("Unexpected payload format for extended message handshake");
  }
  auto msg = std::make_unique<HandshakeExtensionMessage>();
  if (const Integer* p = valueAs<Integer>(dict->get("p")); p && p->i() > 0 && p->i() < 65536) {
    msg->tcpPort_ = static_cast<uint16_t>(p->i());
  }
  if (const String* v = valueAs<String>(dict->get("v"))) {
    msg->clientVersion_ = v->s();
  }
  if (const Dict* m = valueAs<Dict>(dict->get("m"))) {
    for (const auto& [name, value] : *m) {
      const Integer* id = valueAs<Integer>(value);
      if (!id) {
        continue;
      }
      if (id->i() < 0 || id->i() > 255) {
        QLOG_DEBUG(fmt("Extension ID=%lld is invalid", static_cast<long long>(id->i())));
        continue;
      }
      const int key = keyBtExtension(name.c_str());
      if (key == MAX_EXTENSION) {
        QLOG_DEBUG(fmt("Unsupported BitTorrent extension %s=%lld", name.c_str(),
                       static_cast<long long>(id->i())));
        continue;
      }
      msg->extreg_.setExtensionMessageID(key, static_cast<uint8_t>(id->i()));
    }
  }
  if (const Integer* size = valueAs<Integer>(dict->get("metadata_size"))) {
    if (size->i() < 0) {
      throw DL_ABORT_EX(
          fmt("Negative metadataSize %lld was received", static_cast<long long>(size->i())));
    }
    if (size->i() > 0 && static_cast<uint64_t>(size->i()) <= MAX_METADATA_SIZE) {
      msg->metadataSize_ = static_cast<size_t>(size->i());
    }
  }
  return msg;
}

void HandshakeExtensionMessage::doReceivedAction() {
  if (tcpPort_ > 0) {
    peer_->setPort(tcpPort_);
    peer_->setIncomingPeer(false);
  }
  for (int key = 0; key < MAX_EXTENSION; ++key) {
    if (uint8_t id = extreg_.getExtensionMessageID(key)) {
      peer_->setExtension(key, id);
    }
  }
  if (!bittorrent::getTorrentAttrs(dctx_)->metadata.empty()) {
    return;
  }
  if (peer_->getExtensionMessageID(EXT_UT_METADATA) == 0) {
    throw DL_ABORT_EX("Peer doesn't support ut_metadata extension. Goodbye.");
  }
  if (metadataSize_ == 0) {
    throw DL_ABORT_EX(
        "Peer didn't provide metadata_size. It seems that it doesn't have whole metadata.");
  }
  auto* attrs = bittorrent::getTorrentAttrs(dctx_);
  if (attrs->metadataSize == 0) {
    // The first peer to tell the size shapes the metadata download; every
    // piece may then be asked of every peer.
    attrs->metadataSize = metadataSize_;
    dctx_->getFirstFileEntry()->setLength(static_cast<int64_t>(metadataSize_));
    dctx_->setKnowsTotalLength(true);
    RequestGroup* group = dctx_->getOwnerRequestGroup();
    group->initPieceStorage();
    group->getPieceStorage()->enterEndGame();
  } else if (attrs->metadataSize != metadataSize_) {
    throw DL_ABORT_EX("Wrong metadata_size. Which one is correct!?");
  }
  peer_->reconfigureSessionResource(dctx_->getPieceLength(), dctx_->getTotalLength());
  peer_->setAllBitfield();
}

}  // namespace quarn
