#pragma once

#include <string>
#include <vector>

namespace quarn {

class Option;
class TorrentAttribute;

namespace bittorrent {

// Applies "bt-exclude-tracker" (removal, "*" for all) and then "bt-tracker"
// (each URI appended as a tier of its own) to the torrent's tiers.
void adjustAnnounceUri(TorrentAttribute* attrs, const Option& option);
void removeAnnounceUri(TorrentAttribute* attrs, const std::vector<std::string>& uris);
void addAnnounceUri(TorrentAttribute* attrs, const std::vector<std::string>& uris);

}  // namespace bittorrent
}  // namespace quarn
