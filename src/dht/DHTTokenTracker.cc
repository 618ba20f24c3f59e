#include "dht/DHTTokenTracker.h"

#include <cstring>

#include "bittorrent/compact_peer.h"
#include "dht/DHTConstants.h"
#include "foundation/DlAbortEx.h"
#include "foundation/MessageDigest.h"
#include "foundation/fmt.h"
#include "foundation/util_random.h"

namespace quarn {

DHTTokenTracker::DHTTokenTracker() {
  util::generateRandomData(secret_[0], SECRET_LENGTH);
  memcpy(secret_[1], secret_[0], SECRET_LENGTH);
}

DHTTokenTracker::DHTTokenTracker(const unsigned char* secret) {
  memcpy(secret_[0], secret, SECRET_LENGTH);
  memcpy(secret_[1], secret, SECRET_LENGTH);
}

std::string DHTTokenTracker::generateToken(const unsigned char* infoHash, const std::string& ipaddr,
                                           uint16_t port, const unsigned char* secret) const {
  constexpr size_t ADDR_LENGTH = bittorrent::COMPACT_LEN_IPV6;
  unsigned char src[DHT_ID_LENGTH + ADDR_LENGTH + SECRET_LENGTH] = {};
  memcpy(src, infoHash, DHT_ID_LENGTH);
  if (bittorrent::packcompact(src + DHT_ID_LENGTH, ipaddr, port) == 0) {
    throw DL_ABORT_EX(fmt("Token generation failed: ipaddr=%s, port=%u", ipaddr.c_str(), port));
  }
  memcpy(src + DHT_ID_LENGTH + ADDR_LENGTH, secret, SECRET_LENGTH);
  auto sha1 = MessageDigest::sha1();
  sha1->update(src, sizeof(src));
  return sha1->digest();
}

std::string DHTTokenTracker::generateToken(const unsigned char* infoHash, const std::string& ipaddr,
                                           uint16_t port) const {
  return generateToken(infoHash, ipaddr, port, secret_[0]);
}

bool DHTTokenTracker::validateToken(const std::string& token, const unsigned char* infoHash,
                                    const std::string& ipaddr, uint16_t port) const {
  for (const auto* secret : secret_) {
    if (generateToken(infoHash, ipaddr, port, secret) == token) {
      return true;
    }
  }
  return false;
}

void DHTTokenTracker::updateTokenSecret() {
  memcpy(secret_[1], secret_[0], SECRET_LENGTH);
  util::generateRandomData(secret_[0], SECRET_LENGTH);
}

}  // namespace quarn
