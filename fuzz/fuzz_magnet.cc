// Reads arbitrary text as a magnet URI. An accepted one must survive the trip
// through torrent2Magnet unchanged in hash, name and trackers.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bittorrent/magnet.h"
#include "foundation/RecoverableException.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string uri(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<quarn::TorrentAttribute> attrs;
  try {
    attrs = quarn::bittorrent::parseMagnet(uri);
  } catch (const quarn::RecoverableException&) {
    return 0;
  }
  if (attrs->infoHash.size() != 20) {
    abort();
  }
  const std::string again = quarn::bittorrent::torrent2Magnet(attrs.get());
  auto back = quarn::bittorrent::parseMagnet(again);
  // The display name keeps its prefix, so it grows by one prefix per trip.
  if (back->infoHash != attrs->infoHash || back->announceList != attrs->announceList ||
      back->name != "[METADATA]" + attrs->name) {
    abort();
  }
  return 0;
}
