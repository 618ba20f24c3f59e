#include "bittorrent/lpd_message.h"

#include "bittorrent/Peer.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/util_address.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"
#include "net/HttpHeader.h"
#include "net/HttpHeaderProcessor.h"

namespace quarn {
namespace bittorrent {

namespace {
constexpr size_t INFO_HASH_HEX_LENGTH = 40;
}  // namespace

std::string createLpdRequest(const std::string& multicastAddress, uint16_t multicastPort,
                             const std::string& infoHash, uint16_t tcpPort) {
  return fmt("BT-SEARCH * HTTP/1.1\r\nHost: %s:%u\r\nPort: %u\r\nInfohash: %s\r\n\r\n\r\n",
             multicastAddress.c_str(), multicastPort, tcpPort, util::toHex(infoHash).c_str());
}

std::unique_ptr<LpdMessage> parseLpdMessage(std::span<const std::byte> datagram,
                                            const std::string& sender) {
  HttpHeaderProcessor proc(HttpHeaderProcessor::REQUEST_PARSER);
  std::unique_ptr<HttpHeader> header;
  try {
    if (!proc.parse(reinterpret_cast<const unsigned char*>(datagram.data()), datagram.size())) {
      return nullptr;
    }
    header = proc.getResult();
  } catch (const RecoverableException& e) {
    QLOG_INFO_EX("Failed to parse LPD message.", e);
    return nullptr;
  }
  const std::string& infoHashText = header->find(HttpHeader::INFOHASH);
  uint32_t port = 0;
  if (!util::parseUIntNoThrow(port, header->find(HttpHeader::PORT)) || port == 0 || port > 65535) {
    QLOG_INFO(fmt("Bad LPD port=%u", port));
    return nullptr;
  }
  QLOG_INFO(fmt("LPD message received infohash=%s, port=%u from %s", infoHashText.c_str(), port,
                sender.c_str()));
  const std::string infoHash = infoHashText.size() == INFO_HASH_HEX_LENGTH
                                   ? util::fromHex(infoHashText.begin(), infoHashText.end())
                                   : std::string();
  if (infoHash.empty()) {
    QLOG_INFO(fmt("LPD bad request. infohash=%s", infoHashText.c_str()));
    return nullptr;
  }
  auto peer = std::make_shared<Peer>(sender, static_cast<uint16_t>(port));
  if (util::inPrivateAddress(sender)) {
    peer->setLocalPeer(true);
  }
  return std::make_unique<LpdMessage>(std::move(peer), infoHash);
}

}  // namespace bittorrent
}  // namespace quarn
