#include "bittorrent/announce_uri.h"

#include <algorithm>
#include <iterator>

#include "bittorrent/TorrentAttribute.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/util_string.h"

namespace quarn {
namespace bittorrent {

namespace {

std::vector<std::string> splitUris(const std::string& text) {
  std::vector<std::string> uris;
  util::split(text.begin(), text.end(), std::back_inserter(uris), ',', true);
  return uris;
}

}  // namespace

void adjustAnnounceUri(TorrentAttribute* attrs, const Option& option) {
  removeAnnounceUri(attrs, splitUris(option.get(PREF_BT_EXCLUDE_TRACKER)));
  addAnnounceUri(attrs, splitUris(option.get(PREF_BT_TRACKER)));
}

void removeAnnounceUri(TorrentAttribute* attrs, const std::vector<std::string>& uris) {
  if (uris.empty()) {
    return;
  }
  if (std::find(uris.begin(), uris.end(), "*") != uris.end()) {
    attrs->announceList.clear();
    return;
  }
  auto& tiers = attrs->announceList;
  for (auto& tier : tiers) {
    std::erase_if(tier, [&uris](const std::string& uri) {
      return std::find(uris.begin(), uris.end(), uri) != uris.end();
    });
  }
  std::erase_if(tiers, [](const std::vector<std::string>& tier) { return tier.empty(); });
}

void addAnnounceUri(TorrentAttribute* attrs, const std::vector<std::string>& uris) {
  for (const auto& uri : uris) {
    attrs->announceList.push_back({uri});
  }
}

}  // namespace bittorrent
}  // namespace quarn
