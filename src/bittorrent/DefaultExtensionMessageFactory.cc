#include "bittorrent/DefaultExtensionMessageFactory.h"

#include <cstring>

#include "bittorrent/ExtensionMessageRegistry.h"
#include "bittorrent/HandshakeExtensionMessage.h"
#include "bittorrent/UTMetadataDataExtensionMessage.h"
#include "bittorrent/UTMetadataRejectExtensionMessage.h"
#include "bittorrent/UTMetadataRequestExtensionMessage.h"
#include "bittorrent/UTPexExtensionMessage.h"
#include "engine/RequestGroup.h"
#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/Integer.h"
#include "foundation/bencode2.h"
#include "foundation/fmt.h"
#include "storage/DownloadContext.h"

namespace quarn {

namespace {
enum MsgType { REQUEST = 0, DATA = 1, REJECT = 2 };
}  // namespace

std::unique_ptr<ExtensionMessage> DefaultExtensionMessageFactory::createMessage(
    const unsigned char* data, size_t length) {
  const uint8_t id = data[0];
  if (id == HandshakeExtensionMessage::EXTENSION_MESSAGE_ID) {
    auto msg = HandshakeExtensionMessage::create(data, length);
    msg->setPeer(peer_);
    msg->setDownloadContext(dctx_);
    return msg;
  }
  const char* name = registry_->getExtensionName(id);
  if (!name) {
    throw DL_ABORT_EX(fmt("No extension registered for extended message ID %u", id));
  }
  if (std::strcmp(name, UTPexExtensionMessage::EXTENSION_NAME) == 0) {
    auto msg = UTPexExtensionMessage::create(data, length);
    msg->setPeerStorage(peerStorage_);
    return msg;
  }
  if (std::strcmp(name, UTMetadataExtensionMessage::EXTENSION_NAME) == 0) {
    return createUTMetadataMessage(data, length);
  }
  throw DL_ABORT_EX(fmt(
      "Unsupported extension message received. extensionMessageID=%u, extensionName=%s", id, name));
}

std::unique_ptr<ExtensionMessage> DefaultExtensionMessageFactory::createUTMetadataMessage(
    const unsigned char* data, size_t length) {
  size_t end = 0;
  auto decoded = length > 1 ? bencode2::decode(data + 1, length - 1, end) : nullptr;
  const Dict* dict = valueAs<Dict>(decoded);
  if (!dict) {
    throw DL_ABORT_EX("Bad ut_metadata: dictionary not found");
  }
  const Integer* msgType = valueAs<Integer>(dict->get("msg_type"));
  if (!msgType) {
    throw DL_ABORT_EX("Bad ut_metadata: msg_type not found");
  }
  const Integer* index = valueAs<Integer>(dict->get("piece"));
  if (!index || index->i() < 0) {
    throw DL_ABORT_EX("Bad ut_metadata: piece not found");
  }
  const uint8_t id = data[0];
  switch (msgType->i()) {
    case REQUEST: {
      auto m = std::make_unique<UTMetadataRequestExtensionMessage>(id);
      m->setIndex(static_cast<size_t>(index->i()));
      m->setDownloadContext(dctx_);
      m->setPeer(peer_);
      m->setBtMessageFactory(messageFactory_);
      m->setBtMessageDispatcher(dispatcher_);
      return m;
    }
    case DATA: {
      const size_t dataBegin = 1 + end;
      if (dataBegin >= length) {
        throw DL_ABORT_EX("Bad ut_metadata data: data not found");
      }
      const Integer* totalSize = valueAs<Integer>(dict->get("total_size"));
      if (!totalSize || totalSize->i() < 0) {
        throw DL_ABORT_EX("Bad ut_metadata data: total_size not found");
      }
      auto m = std::make_unique<UTMetadataDataExtensionMessage>(id);
      m->setIndex(static_cast<size_t>(index->i()));
      m->setTotalSize(static_cast<size_t>(totalSize->i()));
      m->setData(std::string(reinterpret_cast<const char*>(data) + dataBegin, length - dataBegin));
      m->setUTMetadataRequestTracker(tracker_);
      m->setDownloadContext(dctx_);
      RequestGroup* group = dctx_ ? dctx_->getOwnerRequestGroup() : nullptr;
      m->setPieceStorage(group ? group->getPieceStorage().get() : nullptr);
      return m;
    }
    case REJECT: {
      auto m = std::make_unique<UTMetadataRejectExtensionMessage>(id);
      m->setIndex(static_cast<size_t>(index->i()));
      return m;
    }
    default:
      throw DL_ABORT_EX(
          fmt("Bad ut_metadata: unknown msg_type=%lld", static_cast<long long>(msgType->i())));
  }
}

}  // namespace quarn
