#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bittorrent/TorrentAttribute.h"

namespace quarn {

class Dict;

namespace magnet {

// The parameters of a "magnet:?" URI: name to a list of the percent-decoded
// values, in URI order; empty when uri is no magnet URI.
std::unique_ptr<Dict> parse(const std::string& uri);

}  // namespace magnet

namespace bittorrent {

// The piece size of a metadata download: the block size peers hand metadata
// out in.
inline constexpr int32_t METADATA_PIECE_SIZE = 16384;

// A TorrentAttribute knowing only the info hash, trackers and display name of
// a magnet URI; DlAbortEx with code 27 when the URI is unusable.
std::unique_ptr<TorrentAttribute> parseMagnet(const std::string& uri);
void loadMagnet(const std::string& uri, const std::shared_ptr<DownloadContext>& ctx);

// A torrent document holding the encoded "info" dictionary and the trackers.
std::string metadata2Torrent(const std::string& metadata, const TorrentAttribute* attrs);
// The magnet URI of a torrent; empty when it has no info hash.
std::string torrent2Magnet(const TorrentAttribute* attrs);

}  // namespace bittorrent
}  // namespace quarn
