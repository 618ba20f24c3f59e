#include "bittorrent/DefaultBtAnnounce.h"

#include <netinet/in.h>

#include <cstring>

#include "bittorrent/BtRuntime.h"
#include "bittorrent/Peer.h"
#include "bittorrent/PeerStorage.h"
#include "bittorrent/UDPTrackerRequest.h"
#include "bittorrent/compact_peer.h"
#include "bittorrent/peer_identity.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/LogMacros.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/bencode2.h"
#include "foundation/fmt.h"
#include "foundation/uri_split.h"
#include "foundation/util_chars.h"
#include "foundation/wallclock.h"
#include "net/net_address.h"
#include "storage/DownloadContext.h"
#include "storage/PieceStorage.h"

namespace quarn {

DefaultBtAnnounce::DefaultBtAnnounce(DownloadContext* downloadContext, const Option* option)
    : downloadContext_(downloadContext),
      option_(option),
      announceList_(bittorrent::getTorrentAttrs(downloadContext)->announceList),
      randomizer_(SimpleRandomizer::getInstance().get()) {}

DefaultBtAnnounce::~DefaultBtAnnounce() = default;

bool DefaultBtAnnounce::peerHungry() const {
  return !btRuntime_->isHalt() && btRuntime_->lessThanMinPeers();
}

int64_t DefaultBtAnnounce::left() const {
  return pieceStorage_->getTotalLength() - pieceStorage_->getCompletedLength();
}

bool DefaultBtAnnounce::isStoppedAnnounceReady() {
  return trackers_ == 0 && btRuntime_->isHalt() && announceList_.countStoppedAllowedTier() != 0;
}

bool DefaultBtAnnounce::isCompletedAnnounceReady() {
  return trackers_ == 0 && pieceStorage_->allDownloadFinished() &&
         announceList_.countCompletedAllowedTier() != 0;
}

bool DefaultBtAnnounce::isDefaultAnnounceReady() {
  const auto wait = userDefinedInterval_.count() ? userDefinedInterval_ : minInterval_;
  return trackers_ == 0 && prevAnnounceTimer_.difference(global::wallclock()) >= wait &&
         !announceList_.allTiersFailed();
}

bool DefaultBtAnnounce::isAnnounceReady() {
  return isStoppedAnnounceReady() || isCompletedAnnounceReady() || isDefaultAnnounceReady();
}

bool DefaultBtAnnounce::adjustAnnounceList() {
  if (isStoppedAnnounceReady()) {
    if (!announceList_.currentTierAcceptsStoppedEvent()) {
      announceList_.moveToStoppedAllowedTier();
    }
    announceList_.setEvent(AnnounceTier::STOPPED);
    return true;
  }
  if (isCompletedAnnounceReady()) {
    if (!announceList_.currentTierAcceptsCompletedEvent()) {
      announceList_.moveToCompletedAllowedTier();
    }
    announceList_.setEvent(AnnounceTier::COMPLETED);
    return true;
  }
  if (isDefaultAnnounceReady()) {
    // A download that is already complete starts as a seeder and so never
    // sends "completed".
    if (pieceStorage_->allDownloadFinished() && announceList_.getEvent() == AnnounceTier::STARTED) {
      announceList_.setEvent(AnnounceTier::STARTED_AFTER_COMPLETION);
    }
    return true;
  }
  return false;
}

std::string DefaultBtAnnounce::getAnnounceUrl() {
  if (!adjustAnnounceList()) {
    return "";
  }
  std::string url = announceList_.getAnnounce();
  uri_split_result us;
  const bool hasQuery = uri_split(&us, url.c_str()) == 0 && (us.field_set & (1 << USR_QUERY)) &&
                        us.fields[USR_QUERY].len > 0;
  url += hasQuery ? "&" : "?";
  const unsigned char* peerId = bittorrent::getStaticPeerId();
  NetStat& stat = downloadContext_->getNetStat();
  url +=
      fmt("info_hash=%s&peer_id=%s&uploaded=%lld&downloaded=%lld&left=%lld&compact=1&key=%s"
          "&numwant=%d&no_peer_id=1",
          util::percentEncode(bittorrent::getInfoHash(downloadContext_), 20).c_str(),
          util::percentEncode(peerId, 20).c_str(),
          static_cast<long long>(stat.getSessionUploadLength()),
          static_cast<long long>(stat.getSessionDownloadLength()), static_cast<long long>(left()),
          util::percentEncode(peerId + 12, 8).c_str(), numWant());
  if (tcpPort_) {
    url += fmt("&port=%u", tcpPort_);
  }
  const std::string event = announceList_.getEventString();
  if (!event.empty()) {
    url += "&event=" + event;
  }
  if (!trackerId_.empty()) {
    url += "&trackerid=" + util::percentEncode(trackerId_);
  }
  const bool requireCrypto =
      option_->getAsBool(PREF_BT_FORCE_ENCRYPTION) || option_->getAsBool(PREF_BT_REQUIRE_CRYPTO);
  url += requireCrypto ? "&requirecrypto=1" : "&supportcrypto=1";
  if (!option_->blank(PREF_BT_EXTERNAL_IP)) {
    url += "&ip=" + option_->get(PREF_BT_EXTERNAL_IP);
  }
  return url;
}

namespace {

int32_t udpEvent(AnnounceTier::AnnounceEvent event) {
  switch (event) {
    case AnnounceTier::STARTED:
    case AnnounceTier::STARTED_AFTER_COMPLETION:
      return UDPT_EVT_STARTED;
    case AnnounceTier::STOPPED:
      return UDPT_EVT_STOPPED;
    case AnnounceTier::COMPLETED:
      return UDPT_EVT_COMPLETED;
    default:
      return UDPT_EVT_NONE;
  }
}

}  // namespace

std::shared_ptr<UDPTrackerRequest> DefaultBtAnnounce::createUDPTrackerRequest(
    const std::string& remoteAddr, uint16_t remotePort, uint16_t localPort) {
  if (!adjustAnnounceList()) {
    return nullptr;
  }
  auto req = std::make_shared<UDPTrackerRequest>();
  req->remoteAddr = remoteAddr;
  req->remotePort = remotePort;
  req->action = UDPT_ACT_ANNOUNCE;
  std::memcpy(req->infohash.data(), bittorrent::getInfoHash(downloadContext_), 20);
  std::memcpy(req->peerId.data(), bittorrent::getStaticPeerId(), 20);
  NetStat& stat = downloadContext_->getNetStat();
  req->downloaded = stat.getSessionDownloadLength();
  req->left = left();
  req->uploaded = stat.getSessionUploadLength();
  req->event = udpEvent(announceList_.getEvent());
  unsigned char addr[16];
  if (!option_->blank(PREF_BT_EXTERNAL_IP) &&
      net::getBinAddr(addr, option_->get(PREF_BT_EXTERNAL_IP)) == 4) {
    std::memcpy(&req->ip, addr, 4);
  }
  req->key = static_cast<uint32_t>(randomizer_->getRandomNumber(2147483647));
  req->numWant = numWant();
  req->port = localPort;
  return req;
}

void DefaultBtAnnounce::announceSuccess() {
  trackers_ = 0;
  announceList_.announceSuccess();
}

void DefaultBtAnnounce::announceFailure() {
  trackers_ = 0;
  announceList_.announceFailure();
}

void DefaultBtAnnounce::resetAnnounce() {
  prevAnnounceTimer_ = global::wallclock();
  announceList_.resetTier();
}

bool DefaultBtAnnounce::noMoreAnnounce() {
  return trackers_ == 0 && btRuntime_->isHalt() && announceList_.countStoppedAllowedTier() == 0;
}

void DefaultBtAnnounce::readIntervals(const ValueBase* reply) {
  const auto* dict = valueAs<Dict>(reply);
  if (const auto* ival = valueAs<Integer>(dict->get(INTERVAL)); ival && ival->i() > 0) {
    interval_ = std::chrono::seconds(ival->i());
    QLOG_DEBUG(fmt("Interval:%ld", static_cast<long>(interval_.count())));
  }
  if (const auto* mival = valueAs<Integer>(dict->get(MIN_INTERVAL)); mival && mival->i() > 0) {
    minInterval_ = std::chrono::seconds(mival->i());
    QLOG_DEBUG(fmt("Min interval:%ld", static_cast<long>(minInterval_.count())));
    minInterval_ = std::min(minInterval_, interval_);
  } else {
    minInterval_ = interval_;
  }
}

void DefaultBtAnnounce::addPeers(const ValueBase* peersValue, int family) {
  std::vector<std::shared_ptr<Peer>> peers;
  if (const auto* compact = valueAs<String>(peersValue)) {
    const size_t unit = bittorrent::getCompactLength(family);
    const std::string& s = compact->s();
    if (s.size() % unit == 0) {
      for (size_t i = 0; i < s.size(); i += unit) {
        auto [addr, port] =
            bittorrent::unpackcompact(reinterpret_cast<const unsigned char*>(s.data()) + i, family);
        if (!addr.empty()) {
          peers.push_back(std::make_shared<Peer>(addr, port));
        }
      }
    }
  } else if (const auto* list = valueAs<List>(peersValue)) {
    for (const auto& elem : *list) {
      const auto* d = valueAs<Dict>(elem);
      const auto* ip = d ? valueAs<String>(d->get("ip")) : nullptr;
      const auto* port = d ? valueAs<Integer>(d->get("port")) : nullptr;
      if (ip && port && port->i() > 0 && port->i() < 65536) {
        peers.push_back(std::make_shared<Peer>(ip->s(), static_cast<uint16_t>(port->i())));
      }
    }
  }
  peerStorage_->addPeer(peers);
}

void DefaultBtAnnounce::processAnnounceResponse(const unsigned char* data, size_t length) {
  QLOG_DEBUG("Now processing tracker response.");
  if (length > MAX_RESPONSE_LENGTH) {
    throw DL_ABORT_EX(fmt("Tracker response is too large: %lu bytes, at most %lu are accepted.",
                          static_cast<unsigned long>(length),
                          static_cast<unsigned long>(MAX_RESPONSE_LENGTH)));
  }
  auto reply = bencode2::decode(data, length);
  const auto* dict = valueAs<Dict>(reply);
  if (!dict) {
    throw DL_ABORT_EX("Tracker returned null data.");
  }
  if (const auto* failure = valueAs<String>(dict->get(FAILURE_REASON))) {
    throw DL_ABORT_EX(fmt("Tracker returned failure reason: %s", failure->s().c_str()));
  }
  if (const auto* warning = valueAs<String>(dict->get(WARNING_MESSAGE))) {
    QLOG_WARN(fmt("Tracker returned warning message: %s", warning->s().c_str()));
  }
  if (const auto* trackerId = valueAs<String>(dict->get(TRACKER_ID))) {
    trackerId_ = trackerId->s();
    QLOG_DEBUG(fmt("Tracker ID:%s", trackerId_.c_str()));
  }
  readIntervals(dict);
  if (const auto* complete = valueAs<Integer>(dict->get(COMPLETE));
      complete && complete->i() >= 0) {
    complete_ = static_cast<int32_t>(complete->i());
    QLOG_DEBUG(fmt("Complete:%d", complete_));
  }
  if (const auto* incomplete = valueAs<Integer>(dict->get(INCOMPLETE));
      incomplete && incomplete->i() >= 0) {
    incomplete_ = static_cast<int32_t>(incomplete->i());
    QLOG_DEBUG(fmt("Incomplete:%d", incomplete_));
  }
  if (const auto* peers = dict->get(PEERS)) {
    if (peerHungry()) {
      addPeers(peers, AF_INET);
    }
  } else {
    QLOG_INFO("No peer list received.");
  }
  if (const auto* peers6 = dict->get(PEERS6)) {
    if (peerHungry()) {
      addPeers(peers6, AF_INET6);
    }
  } else {
    QLOG_INFO("No peers6 received.");
  }
}

void DefaultBtAnnounce::processUDPTrackerResponse(
    const std::shared_ptr<UDPTrackerRequest>& request) {
  QLOG_DEBUG("Now processing UDP tracker response.");
  const auto& reply = request->reply;
  if (reply->interval > 0) {
    minInterval_ = std::chrono::seconds(reply->interval);
    QLOG_DEBUG(fmt("Min interval:%ld", static_cast<long>(minInterval_.count())));
    interval_ = minInterval_;
  }
  complete_ = reply->seeders;
  QLOG_DEBUG(fmt("Complete:%d", complete_));
  incomplete_ = reply->leechers;
  QLOG_DEBUG(fmt("Incomplete:%d", incomplete_));
  if (peerHungry()) {
    for (const auto& [addr, port] : reply->peers) {
      peerStorage_->addPeer(std::make_shared<Peer>(addr, port));
    }
  }
}

}  // namespace quarn
