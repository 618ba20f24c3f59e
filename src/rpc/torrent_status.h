#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarn {

class ContextAttribute;
class Dict;
class DownloadEngine;
class List;
class RequestGroup;
class TorrentAttribute;
struct BtObject;

namespace rpc {

// The running torrent of a download, or null when it is not a torrent or has
// not started.
BtObject* findBtObject(DownloadEngine* e, uint64_t gid);

// The torrent dictionary: comment, creation date, mode, announce tiers and,
// once the metadata is known, the name.
std::unique_ptr<Dict> gatherBitTorrentMetadata(const TorrentAttribute& attrs);

// The torrent keys of an active or waiting download; nothing for other
// downloads.
void gatherTorrentProgress(Dict* entry, const std::shared_ptr<RequestGroup>& group,
                           DownloadEngine* e, const std::vector<std::string>& keys);

// The torrent dictionary of a stopped download, when it was a torrent.
void gatherStoppedTorrent(Dict* entry, const std::vector<std::shared_ptr<ContextAttribute>>& attrs,
                          const std::vector<std::string>& keys);

// One entry per connected peer of the torrent.
void createPeerEntries(List* peers, const BtObject& bt);

}  // namespace rpc
}  // namespace quarn
