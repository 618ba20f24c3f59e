#pragma once

namespace quarn {

class DownloadContext;
class OutputFile;

namespace bittorrent {

// The description of a torrent for "show-files": its metadata, trackers,
// geometry and magnet URI, then its files.
void print(OutputFile& out, const DownloadContext& ctx);

}  // namespace bittorrent
}  // namespace quarn
