#include "bittorrent/fast_set.h"

#include <algorithm>
#include <cstring>

#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/wire_fields.h"
#include "foundation/MessageDigest.h"
#include "net/net_address.h"

namespace quarn {
namespace bittorrent {

std::vector<size_t> computeFastSet(const std::string& ipAddress, size_t pieces,
                                   const unsigned char* infoHash, size_t fastSetSize) {
  std::vector<size_t> fastSet;
  unsigned char seed[4 + INFO_HASH_LENGTH];
  if (pieces == 0 || net::getBinAddr(seed, ipAddress) != 4) {
    return fastSet;
  }
  const size_t k = std::min(fastSetSize, pieces);
  // Peers in one /24 (or /16 below 192.0.0.0) share a set, so a peer cannot
  // widen its set by using several nearby addresses.
  seed[3] = 0;
  if ((seed[0] & 0xc0) != 0xc0) {
    seed[2] = 0;
  }
  std::memcpy(seed + 4, infoHash, INFO_HASH_LENGTH);
  auto sha1 = MessageDigest::sha1();
  sha1->update(seed, sizeof(seed));
  unsigned char x[INFO_HASH_LENGTH];
  sha1->digest(x);
  while (fastSet.size() < k) {
    for (size_t i = 0; i < 5 && fastSet.size() < k; ++i) {
      const size_t index = getIntParam(x, i * 4) % pieces;
      if (std::find(fastSet.begin(), fastSet.end(), index) == fastSet.end()) {
        fastSet.push_back(index);
      }
    }
    sha1->reset();
    sha1->update(x, sizeof(x));
    sha1->digest(x);
  }
  return fastSet;
}

}  // namespace bittorrent
}  // namespace quarn
