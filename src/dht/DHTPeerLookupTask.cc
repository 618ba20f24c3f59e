#include "dht/DHTPeerLookupTask.h"

#include "bittorrent/PeerStorage.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/torrent_reader.h"
#include "dht/DHTMessageFactory.h"
#include "dht/DHTQueryMessage.h"
#include "dht/DHTTaskCallback.h"
#include "storage/DownloadContext.h"

namespace quarn {

namespace {

const unsigned char* infoHashOf(const std::shared_ptr<DownloadContext>& ctx) {
  return reinterpret_cast<const unsigned char*>(bittorrent::getTorrentAttrs(ctx)->infoHash.data());
}

}  // namespace

DHTPeerLookupTask::DHTPeerLookupTask(const std::shared_ptr<DownloadContext>& downloadContext,
                                     uint16_t tcpPort)
    : DHTAbstractNodeLookupTask(infoHashOf(downloadContext)), tcpPort_(tcpPort) {}

void DHTPeerLookupTask::getNodesFromMessage(std::vector<std::shared_ptr<DHTNode>>& nodes,
                                            const DHTGetPeersReplyMessage* message) {
  const auto& reported = message->getClosestKNodes();
  nodes.insert(nodes.end(), reported.begin(), reported.end());
}

void DHTPeerLookupTask::onReceivedInternal(const DHTGetPeersReplyMessage* message) {
  tokenStorage_[util::toHex(message->getRemoteNode()->getID(), DHT_ID_LENGTH)] =
      message->getToken();
  if (peerStorage_) {
    peerStorage_->addPeer(message->getValues());
  }
  QLOG_INFO(fmt("Received %lu peers.", static_cast<unsigned long>(message->getValues().size())));
}

void DHTPeerLookupTask::onFinish() {
  QLOG_DEBUG(fmt("Peer lookup for %s finished", util::toHex(getTargetID(), DHT_ID_LENGTH).c_str()));
  size_t sent = 0;
  for (const auto& e : getEntries()) {
    if (sent == DHT_BUCKET_SIZE) {
      break;
    }
    if (!e->used) {
      continue;
    }
    const std::string id = util::toHex(e->node->getID(), DHT_ID_LENGTH);
    auto token = tokenStorage_.find(id);
    if (token == tokenStorage_.end() || token->second.empty()) {
      QLOG_DEBUG(fmt("Token is empty for ID:%s", id.c_str()));
      continue;
    }
    getMessageDispatcher()->addMessageToQueue(
        getMessageFactory()->createAnnouncePeerMessage(e->node, getTargetID(), tcpPort_,
                                                       token->second, ""),
        nullptr);
    ++sent;
  }
}

std::unique_ptr<DHTMessage> DHTPeerLookupTask::createMessage(const std::shared_ptr<DHTNode>& node) {
  return getMessageFactory()->createGetPeersMessage(node, getTargetID(), "");
}

std::unique_ptr<DHTMessageCallback> DHTPeerLookupTask::createCallback() {
  return std::make_unique<DHTTaskCallback<DHTPeerLookupTask, DHTGetPeersReplyMessage>>(this);
}

}  // namespace quarn
