#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quarn {

class DownloadEngine;
class Option;
class RequestGroup;
class ValueBase;

namespace bittorrent {

// Makes one torrent download from a parsed torrent, or from torrentData
// (bencoded) or, when that is empty, from the file metaInfoUri. uris are
// extra web seeds; adjustAnnounce applies "bt-tracker" and
// "bt-exclude-tracker".
void createRequestGroupForBitTorrent(std::vector<std::shared_ptr<RequestGroup>>& result,
                                     const std::shared_ptr<Option>& option,
                                     const std::vector<std::string>& uris,
                                     const std::string& metaInfoUri, const ValueBase* torrent,
                                     bool adjustAnnounce = true);
void createRequestGroupForBitTorrent(std::vector<std::shared_ptr<RequestGroup>>& result,
                                     const std::shared_ptr<Option>& option,
                                     const std::vector<std::string>& uris,
                                     const std::string& metaInfoUri,
                                     const std::string& torrentData = "",
                                     bool adjustAnnounce = true);

// The maker of downloads from arguments that are magnet links or (unless
// ignoreLocalPath) torrent files; false for any other argument.
bool makeDownloads(std::vector<std::shared_ptr<RequestGroup>>& result,
                   const std::shared_ptr<Option>& option, const std::string& arg,
                   bool ignoreLocalPath);

// Hands the engine the handler that follows fetched torrent files; called
// before any download is made.
void installDownloadHandlers();

// Plugs BitTorrent into a new engine.
void install(DownloadEngine& engine);

}  // namespace bittorrent
}  // namespace quarn
