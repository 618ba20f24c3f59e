#include "dht/DHTMessageFactoryImpl.h"

#include <sys/socket.h>

#include "bittorrent/Peer.h"
#include "bittorrent/compact_peer.h"
#include "dht/DHTAnnouncePeerMessage.h"
#include "dht/DHTAnnouncePeerReplyMessage.h"
#include "dht/DHTFindNodeMessage.h"
#include "dht/DHTFindNodeReplyMessage.h"
#include "dht/DHTGetPeersMessage.h"
#include "dht/DHTGetPeersReplyMessage.h"
#include "dht/DHTNode.h"
#include "dht/DHTPingMessage.h"
#include "dht/DHTPingReplyMessage.h"
#include "dht/DHTRoutingTable.h"
#include "dht/DHTUnknownMessage.h"
#include "dht/compact_node.h"
#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/LogMacros.h"
#include "foundation/String.h"
#include "foundation/fmt.h"
#include "foundation/util_chars.h"

namespace quarn {

namespace {

// The version every message made here carries.
const std::string& version() {
  static const std::string v("QN\x00\x03", 4);
  return v;
}

template <typename T>
const T& getField(const Dict& dict, const char* key) {
  const T* value = valueAs<T>(dict.get(key));
  if (!value) {
    throw DL_ABORT_EX(fmt("Malformed DHT message. Missing %s", key));
  }
  return *value;
}

const std::string& getString(const Dict& dict, const char* key) {
  return getField<String>(dict, key).s();
}

const unsigned char* validateID(const std::string& id) {
  if (id.size() != DHT_ID_LENGTH) {
    throw DL_ABORT_EX(fmt("Malformed DHT message. Invalid ID length. Expected:%lu, Actual:%lu",
                          static_cast<unsigned long>(DHT_ID_LENGTH),
                          static_cast<unsigned long>(id.size())));
  }
  return reinterpret_cast<const unsigned char*>(id.data());
}

uint16_t validatePort(int64_t port) {
  // Every TCP port from 1 to 65535 can be announced.
  if (port < 1 || port > 65535) {
    throw DL_ABORT_EX(
        fmt("Malformed DHT message. Invalid port=%lld", static_cast<long long>(port)));
  }
  return static_cast<uint16_t>(port);
}

void setVersionFrom(DHTMessage& message, const Dict& dict) {
  const auto* v = valueAs<String>(dict.get("v"));
  message.setVersion(v ? v->s() : std::string());
}

[[noreturn]] void throwErrorReply(const Dict& dict) {
  const List& e = getField<List>(dict, "e");
  if (e.size() == 2) {
    if (LogFactory::getInstance()->levelEnabled(Logger::Q_INFO)) {
      const auto* code = valueAs<Integer>(e.get(0));
      if (!code) {
        throw DL_ABORT_EX(fmt("Malformed DHT message. element[%lu] is not Integer.", 0UL));
      }
      const auto* msg = valueAs<String>(e.get(1));
      if (!msg) {
        throw DL_ABORT_EX(fmt("Malformed DHT message. element[%lu] is not String.", 1UL));
      }
      QLOG_INFO(fmt("Received Error DHT message. code=%lld, msg=%s",
                    static_cast<long long>(code->i()), util::percentEncode(msg->s()).c_str()));
    }
  } else {
    QLOG_DEBUG("e doesn't have 2 elements.");
  }
  throw DL_ABORT_EX("Received Error DHT message.");
}

}  // namespace

DHTMessageFactoryImpl::DHTMessageFactoryImpl(int family) : family_(family) {}

std::shared_ptr<DHTNode> DHTMessageFactoryImpl::getRemoteNode(const std::string& id,
                                                              const std::string& ipaddr,
                                                              uint16_t port) const {
  const unsigned char* uid = validateID(id);
  if (routingTable_) {
    if (auto node = routingTable_->getNode(uid, ipaddr, port)) {
      return node;
    }
  }
  auto node = std::make_shared<DHTNode>(uid);
  node->setIPAddress(ipaddr);
  node->setPort(port);
  return node;
}

std::unique_ptr<DHTQueryMessage> DHTMessageFactoryImpl::createQueryMessage(
    const Dict& dict, const std::string& ipaddr, uint16_t port) {
  const std::string& method = getString(dict, "q");
  const std::string& tid = getString(dict, "t");
  const std::string& y = getString(dict, "y");
  const Dict& a = getField<Dict>(dict, "a");
  if (y != "q") {
    throw DL_ABORT_EX("Malformed DHT message. y != q");
  }
  auto remote = getRemoteNode(getString(a, "id"), ipaddr, port);
  std::unique_ptr<DHTQueryMessage> message;
  if (method == "ping") {
    message = createPingMessage(remote, tid);
  } else if (method == "find_node") {
    message = createFindNodeMessage(remote, validateID(getString(a, "target")), tid);
  } else if (method == "get_peers") {
    message = createGetPeersMessage(remote, validateID(getString(a, "info_hash")), tid);
  } else if (method == "announce_peer") {
    const unsigned char* infoHash = validateID(getString(a, "info_hash"));
    uint16_t tcpPort = validatePort(getField<Integer>(a, "port").i());
    message = createAnnouncePeerMessage(remote, infoHash, tcpPort, getString(a, "token"), tid);
  } else {
    throw DL_ABORT_EX(fmt("Unsupported message type: %s", method.c_str()));
  }
  setVersionFrom(*message, dict);
  return message;
}

std::unique_ptr<DHTResponseMessage> DHTMessageFactoryImpl::createResponseMessage(
    const std::string& messageType, const Dict& dict, const std::string& ipaddr, uint16_t port) {
  const std::string& tid = getString(dict, "t");
  const std::string& y = getString(dict, "y");
  if (y == "e") {
    throwErrorReply(dict);
  }
  if (y != "r") {
    throw DL_ABORT_EX(fmt("Malformed DHT message. y != r: y=%s", util::percentEncode(y).c_str()));
  }
  const Dict& r = getField<Dict>(dict, "r");
  const std::string& id = getString(r, "id");
  auto remote = getRemoteNode(id, ipaddr, port);
  std::unique_ptr<DHTResponseMessage> message;
  if (messageType == "ping") {
    message = createPingReplyMessage(remote, validateID(id), tid);
  } else if (messageType == "find_node") {
    message = createFindNodeReplyMessage(remote, extractNodes(r), tid);
  } else if (messageType == "get_peers") {
    auto nodes = extractNodes(r);
    auto peers = extractPeers(r);
    message = createGetPeersReplyMessage(remote, std::move(nodes), std::move(peers),
                                         getString(r, "token"), tid);
  } else if (messageType == "announce_peer") {
    message = createAnnouncePeerReplyMessage(remote, tid);
  } else {
    throw DL_ABORT_EX(fmt("Unsupported message type: %s", messageType.c_str()));
  }
  setVersionFrom(*message, dict);
  return message;
}

DHTMessageFactory::NodeList DHTMessageFactoryImpl::extractNodes(const Dict& rDict) const {
  const auto* nodes = valueAs<String>(rDict.get(dht::nodesKey(family_)));
  if (!nodes) {
    return {};
  }
  return dht::unpackNodes(nodes->s(), family_);
}

DHTMessageFactory::PeerList DHTMessageFactoryImpl::extractPeers(const Dict& rDict) const {
  PeerList peers;
  const auto* values = valueAs<List>(rDict.get("values"));
  if (!values) {
    return peers;
  }
  const size_t clen = bittorrent::getCompactLength(family_);
  for (const auto& elem : *values) {
    const auto* s = valueAs<String>(elem);
    if (!s || s->s().size() != clen) {
      continue;
    }
    auto [addr, port] = bittorrent::unpackcompact(s->uc(), family_);
    if (!addr.empty()) {
      peers.push_back(std::make_shared<Peer>(addr, port));
    }
  }
  return peers;
}

void DHTMessageFactoryImpl::setCommonProperty(DHTAbstractMessage& message) {
  message.setConnection(connection_);
  message.setMessageDispatcher(dispatcher_);
  message.setRoutingTable(routingTable_);
  message.setMessageFactory(this);
  message.setVersion(version());
}

std::unique_ptr<DHTQueryMessage> DHTMessageFactoryImpl::createPingMessage(
    const std::shared_ptr<DHTNode>& remoteNode, const std::string& transactionID) {
  auto m = std::make_unique<DHTPingMessage>(localNode_, remoteNode, transactionID);
  setCommonProperty(*m);
  return m;
}

std::unique_ptr<DHTResponseMessage> DHTMessageFactoryImpl::createPingReplyMessage(
    const std::shared_ptr<DHTNode>& remoteNode, const unsigned char* id,
    const std::string& transactionID) {
  auto m = std::make_unique<DHTPingReplyMessage>(localNode_, remoteNode, id, transactionID);
  setCommonProperty(*m);
  return m;
}

std::unique_ptr<DHTQueryMessage> DHTMessageFactoryImpl::createFindNodeMessage(
    const std::shared_ptr<DHTNode>& remoteNode, const unsigned char* targetNodeID,
    const std::string& transactionID) {
  auto m =
      std::make_unique<DHTFindNodeMessage>(localNode_, remoteNode, targetNodeID, transactionID);
  setCommonProperty(*m);
  return m;
}

std::unique_ptr<DHTResponseMessage> DHTMessageFactoryImpl::createFindNodeReplyMessage(
    const std::shared_ptr<DHTNode>& remoteNode, NodeList closestKNodes,
    const std::string& transactionID) {
  auto m =
      std::make_unique<DHTFindNodeReplyMessage>(family_, localNode_, remoteNode, transactionID);
  m->setClosestKNodes(std::move(closestKNodes));
  setCommonProperty(*m);
  return m;
}

std::unique_ptr<DHTQueryMessage> DHTMessageFactoryImpl::createGetPeersMessage(
    const std::shared_ptr<DHTNode>& remoteNode, const unsigned char* infoHash,
    const std::string& transactionID) {
  auto m = std::make_unique<DHTGetPeersMessage>(localNode_, remoteNode, infoHash, transactionID);
  m->setPeerAnnounceStorage(storage_);
  m->setTokenTracker(tokenTracker_);
  m->setBtRegistry(btRegistry_);
  m->setFamily(family_);
  setCommonProperty(*m);
  return m;
}

std::unique_ptr<DHTResponseMessage> DHTMessageFactoryImpl::createGetPeersReplyMessage(
    const std::shared_ptr<DHTNode>& remoteNode, NodeList closestKNodes, PeerList peers,
    const std::string& token, const std::string& transactionID) {
  auto m = std::make_unique<DHTGetPeersReplyMessage>(family_, localNode_, remoteNode, token,
                                                     transactionID);
  m->setClosestKNodes(std::move(closestKNodes));
  m->setValues(std::move(peers));
  setCommonProperty(*m);
  return m;
}

std::unique_ptr<DHTQueryMessage> DHTMessageFactoryImpl::createAnnouncePeerMessage(
    const std::shared_ptr<DHTNode>& remoteNode, const unsigned char* infoHash, uint16_t tcpPort,
    const std::string& token, const std::string& transactionID) {
  auto m = std::make_unique<DHTAnnouncePeerMessage>(localNode_, remoteNode, infoHash, tcpPort,
                                                    token, transactionID);
  m->setPeerAnnounceStorage(storage_);
  m->setTokenTracker(tokenTracker_);
  setCommonProperty(*m);
  return m;
}

std::unique_ptr<DHTResponseMessage> DHTMessageFactoryImpl::createAnnouncePeerReplyMessage(
    const std::shared_ptr<DHTNode>& remoteNode, const std::string& transactionID) {
  auto m = std::make_unique<DHTAnnouncePeerReplyMessage>(localNode_, remoteNode, transactionID);
  setCommonProperty(*m);
  return m;
}

std::unique_ptr<DHTMessage> DHTMessageFactoryImpl::createUnknownMessage(const unsigned char* data,
                                                                        size_t length,
                                                                        const std::string& ipaddr,
                                                                        uint16_t port) {
  return std::make_unique<DHTUnknownMessage>(localNode_, data, length, ipaddr, port);
}

}  // namespace quarn
