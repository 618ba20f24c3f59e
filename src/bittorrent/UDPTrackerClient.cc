#include "bittorrent/UDPTrackerClient.h"

#include <sys/socket.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <vector>

#include "bittorrent/UDPTrackerRequest.h"
#include "bittorrent/compact_peer.h"
#include "bittorrent/wire_fields.h"
#include "foundation/LogMacros.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/fmt.h"
#include "foundation/util_chars.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

constexpr int64_t UDPT_INITIAL_CONNECTION_ID = 0x41727101980LL;
constexpr size_t CONNECT_LENGTH = 16;
constexpr size_t ANNOUNCE_LENGTH = 100;
constexpr size_t ANNOUNCE_REPLY_HEADER = 20;
constexpr size_t ERROR_REPLY_HEADER = 8;
constexpr auto CONNECTION_ID_LIFETIME = std::chrono::seconds(60);
constexpr auto RESEND_AFTER = std::chrono::seconds(5);
constexpr auto GIVE_UP_AFTER = std::chrono::seconds(10);

int32_t newTransactionId() {
  unsigned char buf[4];
  SimpleRandomizer::getInstance()->getRandomBytes(buf, sizeof(buf));
  int32_t id;
  std::memcpy(&id, buf, sizeof(id));
  return id;
}

unsigned int u32(int32_t v) {
  return static_cast<uint32_t>(v);
}

unsigned long long u64(int64_t v) {
  return static_cast<uint64_t>(v);
}

std::string hexHash(const UDPTrackerRequest& req) {
  return util::toHex(req.infohash.data(), req.infohash.size());
}

// The part of the log lines about an ANNOUNCE that follows the destination.
std::string announceDetail(const UDPTrackerRequest& req) {
  return fmt("transaction_id=%08x, connection_id=%016llx, event=%s, infohash=%s",
             u32(req.transactionId), u64(req.connectionId), getUDPTrackerEventStr(req.event),
             hexHash(req).c_str());
}

// "UDPT <verb> CONNECT|ANNOUNCE to addr:port ..." as every queue step logs it.
void logRequest(const char* verb, const UDPTrackerRequest& req) {
  if (req.action == UDPT_ACT_CONNECT) {
    QLOG_INFO(fmt("UDPT %s CONNECT to %s:%u transaction_id=%08x", verb, req.remoteAddr.c_str(),
                  req.remotePort, u32(req.transactionId)));
  } else {
    QLOG_INFO(fmt("UDPT %s ANNOUNCE to %s:%u %s", verb, req.remoteAddr.c_str(), req.remotePort,
                  announceDetail(req).c_str()));
  }
}

void complete(UDPTrackerRequest& req, int error) {
  req.state = UDPT_STA_COMPLETE;
  req.error = error;
}

bool sameTracker(const UDPTrackerRequest& req, const std::string& addr, uint16_t port) {
  return req.remoteAddr == addr && req.remotePort == port;
}

}  // namespace

const char* getUDPTrackerActionStr(int action) {
  switch (action) {
    case UDPT_ACT_CONNECT:
      return "CONNECT";
    case UDPT_ACT_ANNOUNCE:
      return "ANNOUNCE";
    case UDPT_ACT_ERROR:
      return "ERROR";
    default:
      return "(unknown)";
  }
}

const char* getUDPTrackerEventStr(int event) {
  switch (event) {
    case UDPT_EVT_NONE:
      return "NONE";
    case UDPT_EVT_COMPLETED:
      return "COMPLETED";
    case UDPT_EVT_STARTED:
      return "STARTED";
    case UDPT_EVT_STOPPED:
      return "STOPPED";
    default:
      return "(unknown)";
  }
}

ssize_t createUDPTrackerConnect(unsigned char* data, size_t length, std::string& remoteAddr,
                                uint16_t& remotePort,
                                const std::shared_ptr<UDPTrackerRequest>& req) {
  assert(length >= CONNECT_LENGTH);
  (void)length;
  bittorrent::setLLIntParam(data, UDPT_INITIAL_CONNECTION_ID);
  bittorrent::setIntParam(data + 8, u32(req->action));
  bittorrent::setIntParam(data + 12, u32(req->transactionId));
  remoteAddr = req->remoteAddr;
  remotePort = req->remotePort;
  return CONNECT_LENGTH;
}

ssize_t createUDPTrackerAnnounce(unsigned char* data, size_t length, std::string& remoteAddr,
                                 uint16_t& remotePort,
                                 const std::shared_ptr<UDPTrackerRequest>& req) {
  assert(length >= ANNOUNCE_LENGTH);
  (void)length;
  bittorrent::setLLIntParam(data, u64(req->connectionId));
  bittorrent::setIntParam(data + 8, u32(req->action));
  bittorrent::setIntParam(data + 12, u32(req->transactionId));
  std::memcpy(data + 16, req->infohash.data(), 20);
  std::memcpy(data + 36, req->peerId.data(), 20);
  bittorrent::setLLIntParam(data + 56, u64(req->downloaded));
  bittorrent::setLLIntParam(data + 64, u64(req->left));
  bittorrent::setLLIntParam(data + 72, u64(req->uploaded));
  bittorrent::setIntParam(data + 80, u32(req->event));
  // Already in network order.
  std::memcpy(data + 84, &req->ip, 4);
  bittorrent::setIntParam(data + 88, req->key);
  bittorrent::setIntParam(data + 92, u32(req->numWant));
  bittorrent::setShortIntParam(data + 96, req->port);
  bittorrent::setShortIntParam(data + 98, req->extensions);
  remoteAddr = req->remoteAddr;
  remotePort = req->remotePort;
  return ANNOUNCE_LENGTH;
}

UDPTrackerClient::~UDPTrackerClient() {
  failAll();
}

void UDPTrackerClient::addRequest(std::shared_ptr<UDPTrackerRequest> request) {
  request->state = UDPT_STA_PENDING;
  request->error = UDPT_ERR_SUCCESS;
  pendingRequests_.push_back(std::move(request));
}

std::optional<UDPTrackerClient::Connection> UDPTrackerClient::getConnectionId(
    const std::string& addr, uint16_t port, const Timer& now) {
  auto it = connectionIdCache_.find(Key(addr, port));
  if (it == connectionIdCache_.end()) {
    return std::nullopt;
  }
  if (it->second.state == CONNECTED &&
      it->second.lastUpdated.difference(now) > CONNECTION_ID_LIFETIME) {
    connectionIdCache_.erase(it);
    return std::nullopt;
  }
  return it->second;
}

ssize_t UDPTrackerClient::createRequest(unsigned char* data, size_t length, std::string& remoteAddr,
                                        uint16_t& remotePort, const Timer& now) {
  while (!pendingRequests_.empty()) {
    const auto req = pendingRequests_.front();
    if (req->action == UDPT_ACT_CONNECT) {
      return createUDPTrackerConnect(data, length, remoteAddr, remotePort, req);
    }
    auto connection = getConnectionId(req->remoteAddr, req->remotePort, now);
    if (!connection) {
      auto connect = std::make_shared<UDPTrackerRequest>();
      connect->remoteAddr = req->remoteAddr;
      connect->remotePort = req->remotePort;
      connect->action = UDPT_ACT_CONNECT;
      connect->transactionId = newTransactionId();
      pendingRequests_.push_front(connect);
      return createUDPTrackerConnect(data, length, remoteAddr, remotePort, connect);
    }
    if (connection->state == CONNECTED) {
      req->connectionId = connection->connectionId;
      req->transactionId = newTransactionId();
      return createUDPTrackerAnnounce(data, length, remoteAddr, remotePort, req);
    }
    // A connect to this tracker is on its way; wait for it.
    connectRequests_.push_back(req);
    pendingRequests_.pop_front();
  }
  return -1;
}

void UDPTrackerClient::requestSent(const Timer& now) {
  if (pendingRequests_.empty()) {
    QLOG_WARN("pendingRequests_ is empty");
    return;
  }
  auto req = pendingRequests_.front();
  pendingRequests_.pop_front();
  logRequest("sent", *req);
  req->dispatched = now;
  if (req->action == UDPT_ACT_CONNECT) {
    connectionIdCache_[Key(req->remoteAddr, req->remotePort)] =
        Connection{CONNECTING, UDPT_INITIAL_CONNECTION_ID, Timer::zero()};
  }
  inflightRequests_.push_back(std::move(req));
}

void UDPTrackerClient::requestFail(int error) {
  if (pendingRequests_.empty()) {
    QLOG_WARN("pendingRequests_ is empty");
    return;
  }
  auto req = pendingRequests_.front();
  pendingRequests_.pop_front();
  logRequest("fail", *req);
  complete(*req, error);
  if (req->action == UDPT_ACT_CONNECT) {
    failConnect(req->remoteAddr, req->remotePort, error);
  }
}

void UDPTrackerClient::failConnect(const std::string& addr, uint16_t port, int error) {
  connectionIdCache_.erase(Key(addr, port));
  auto failWaiting = [&](std::deque<std::shared_ptr<UDPTrackerRequest>>& queue) {
    std::erase_if(queue, [&](const std::shared_ptr<UDPTrackerRequest>& req) {
      if (req->action != UDPT_ACT_ANNOUNCE || !sameTracker(*req, addr, port)) {
        return false;
      }
      QLOG_INFO(fmt("Force fail infohash=%s", hexHash(*req).c_str()));
      complete(*req, error);
      return true;
    });
  };
  failWaiting(connectRequests_);
  failWaiting(pendingRequests_);
}

std::shared_ptr<UDPTrackerRequest> UDPTrackerClient::findInflightRequest(int32_t action,
                                                                         const std::string& addr,
                                                                         uint16_t port,
                                                                         int32_t transactionId) {
  // A CONNECT or ANNOUNCE reply answers only a request of its own kind: taken
  // by the other kind, it would leave that request in flight forever without
  // completing it. An ERROR reply answers either.
  auto it = std::find_if(inflightRequests_.begin(), inflightRequests_.end(), [&](const auto& req) {
    return sameTracker(*req, addr, port) && req->transactionId == transactionId &&
           (action == UDPT_ACT_ERROR || req->action == action);
  });
  if (it == inflightRequests_.end()) {
    QLOG_INFO(fmt("UDPT received %s reply from %s:%u invalid transaction_id=%08x",
                  getUDPTrackerActionStr(action), addr.c_str(), port, u32(transactionId)));
    return nullptr;
  }
  auto req = *it;
  inflightRequests_.erase(it);
  return req;
}

int UDPTrackerClient::receiveReply(std::shared_ptr<UDPTrackerRequest>& recvReq,
                                   const unsigned char* data, size_t length,
                                   const std::string& remoteAddr, uint16_t remotePort,
                                   const Timer& now) {
  if (length < 4) {
    return -1;
  }
  int32_t action = static_cast<int32_t>(bittorrent::getIntParam(data, 0));
  switch (action) {
    case UDPT_ACT_CONNECT:
      return receiveConnectReply(recvReq, data, length, remoteAddr, remotePort, now);
    case UDPT_ACT_ANNOUNCE:
      return receiveAnnounceReply(recvReq, data, length, remoteAddr, remotePort);
    case UDPT_ACT_SCRAPE:
      QLOG_INFO(fmt("unexpected scrape action reply from %s:%u", remoteAddr.c_str(), remotePort));
      return -1;
    case UDPT_ACT_ERROR:
      return receiveErrorReply(recvReq, data, length, remoteAddr, remotePort);
    default:
      QLOG_INFO(fmt("unknown action reply from %s:%u", remoteAddr.c_str(), remotePort));
      return -1;
  }
}

int UDPTrackerClient::receiveConnectReply(std::shared_ptr<UDPTrackerRequest>& recvReq,
                                          const unsigned char* data, size_t length,
                                          const std::string& addr, uint16_t port,
                                          const Timer& now) {
  if (length != CONNECT_LENGTH) {
    QLOG_INFO(fmt("UDPT received %s reply from %s:%u invalid length expected:%lu, actual:%lu",
                  "CONNECT", addr.c_str(), port, static_cast<unsigned long>(CONNECT_LENGTH),
                  static_cast<unsigned long>(length)));
    return -1;
  }
  int32_t transactionId = static_cast<int32_t>(bittorrent::getIntParam(data, 4));
  auto req = findInflightRequest(UDPT_ACT_CONNECT, addr, port, transactionId);
  if (!req) {
    return -1;
  }
  int64_t connectionId = static_cast<int64_t>(bittorrent::getLLIntParam(data, 8));
  QLOG_INFO(fmt("UDPT received CONNECT reply from %s:%u transaction_id=%08x,connection_id=%016llx",
                addr.c_str(), port, u32(transactionId), u64(connectionId)));
  connectionIdCache_[Key(addr, port)] = Connection{CONNECTED, connectionId, now};
  // The announces that waited for this connect go out next, in their order.
  std::vector<std::shared_ptr<UDPTrackerRequest>> waiting;
  std::erase_if(connectRequests_, [&](const std::shared_ptr<UDPTrackerRequest>& r) {
    if (!sameTracker(*r, addr, port)) {
      return false;
    }
    waiting.push_back(r);
    return true;
  });
  pendingRequests_.insert(pendingRequests_.begin(), waiting.begin(), waiting.end());
  recvReq = std::move(req);
  return 0;
}

int UDPTrackerClient::receiveAnnounceReply(std::shared_ptr<UDPTrackerRequest>& recvReq,
                                           const unsigned char* data, size_t length,
                                           const std::string& addr, uint16_t port) {
  if (length < ANNOUNCE_REPLY_HEADER) {
    QLOG_INFO(fmt("UDPT received %s reply from %s:%u length too short min:%lu, actual:%lu",
                  "ANNOUNCE", addr.c_str(), port, static_cast<unsigned long>(ANNOUNCE_REPLY_HEADER),
                  static_cast<unsigned long>(length)));
    return -1;
  }
  int32_t transactionId = static_cast<int32_t>(bittorrent::getIntParam(data, 4));
  auto req = findInflightRequest(UDPT_ACT_ANNOUNCE, addr, port, transactionId);
  if (!req) {
    return -1;
  }
  auto reply = std::make_shared<UDPTrackerReply>();
  reply->action = UDPT_ACT_ANNOUNCE;
  reply->transactionId = transactionId;
  reply->interval = static_cast<int32_t>(bittorrent::getIntParam(data, 8));
  reply->leechers = static_cast<int32_t>(bittorrent::getIntParam(data, 12));
  reply->seeders = static_cast<int32_t>(bittorrent::getIntParam(data, 16));
  for (size_t i = ANNOUNCE_REPLY_HEADER; i + bittorrent::COMPACT_LEN_IPV4 <= length;
       i += bittorrent::COMPACT_LEN_IPV4) {
    auto peer = bittorrent::unpackcompact(data + i, AF_INET);
    if (!peer.first.empty()) {
      reply->peers.push_back(std::move(peer));
    }
  }
  complete(*req, UDPT_ERR_SUCCESS);
  req->reply = reply;
  QLOG_INFO(
      fmt("UDPT received ANNOUNCE reply from %s:%u transaction_id=%08x,"
          "connection_id=%016llx, event=%s, infohash=%s, interval=%d, leechers=%d, "
          "seeders=%d, num_peers=%d",
          addr.c_str(), port, u32(transactionId), u64(req->connectionId),
          getUDPTrackerEventStr(req->event), hexHash(*req).c_str(), reply->interval,
          reply->leechers, reply->seeders, static_cast<int>(reply->peers.size())));
  recvReq = std::move(req);
  return 0;
}

int UDPTrackerClient::receiveErrorReply(std::shared_ptr<UDPTrackerRequest>& recvReq,
                                        const unsigned char* data, size_t length,
                                        const std::string& addr, uint16_t port) {
  if (length < ERROR_REPLY_HEADER) {
    QLOG_INFO(fmt("UDPT received %s reply from %s:%u length too short min:%lu, actual:%lu", "ERROR",
                  addr.c_str(), port, static_cast<unsigned long>(ERROR_REPLY_HEADER),
                  static_cast<unsigned long>(length)));
    return -1;
  }
  int32_t transactionId = static_cast<int32_t>(bittorrent::getIntParam(data, 4));
  auto req = findInflightRequest(UDPT_ACT_ERROR, addr, port, transactionId);
  if (!req) {
    return -1;
  }
  std::string text(reinterpret_cast<const char*>(data) + ERROR_REPLY_HEADER,
                   length - ERROR_REPLY_HEADER);
  text = util::encodeNonUtf8(text);
  complete(*req, UDPT_ERR_TRACKER);
  QLOG_INFO(
      fmt("UDPT received ERROR reply from %s:%u transaction_id=%08x,connection_id=%016llx, "
          "action=%d, error_string=%s",
          addr.c_str(), port, u32(transactionId), u64(req->connectionId), UDPT_ACT_ERROR,
          text.c_str()));
  if (req->action == UDPT_ACT_CONNECT) {
    failConnect(addr, port, UDPT_ERR_TRACKER);
  }
  recvReq = std::move(req);
  return 0;
}

void UDPTrackerClient::handleTimeout(const Timer& now) {
  std::vector<std::shared_ptr<UDPTrackerRequest>> resend;
  std::erase_if(inflightRequests_, [&](const std::shared_ptr<UDPTrackerRequest>& req) {
    auto waited = req->dispatched.difference(now);
    if (req->failCount == 0 && waited >= RESEND_AFTER) {
      logRequest("resend", *req);
      ++req->failCount;
      resend.push_back(req);
      return true;
    }
    if (req->failCount != 0 && waited >= GIVE_UP_AFTER) {
      logRequest("timeout", *req);
      ++req->failCount;
      complete(*req, UDPT_ERR_TIMEOUT);
      if (req->action == UDPT_ACT_CONNECT) {
        failConnect(req->remoteAddr, req->remotePort, UDPT_ERR_TIMEOUT);
      }
      return true;
    }
    return false;
  });
  pendingRequests_.insert(pendingRequests_.begin(), resend.begin(), resend.end());
}

void UDPTrackerClient::failAll() {
  for (auto* queue : {&pendingRequests_, &connectRequests_, &inflightRequests_}) {
    for (const auto& req : *queue) {
      complete(*req, UDPT_ERR_SHUTDOWN);
    }
  }
}

}  // namespace quarn
