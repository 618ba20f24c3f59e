#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quarn {

class Dict;
class DownloadEngine;
class FileEntry;
class List;
struct DownloadResult;
class RequestGroup;

namespace rpc {

// Whether a key filter asks for the key: an empty filter asks for all.
bool requestedKey(const std::vector<std::string>& keys, const std::string& key);

// The status of an active or waiting download (without "status").
void gatherProgress(Dict* entry, const std::shared_ptr<RequestGroup>& group, DownloadEngine* e,
                    const std::vector<std::string>& keys);
// The status of a stopped download from what remains of it.
void gatherStoppedDownload(Dict* entry, const std::shared_ptr<DownloadResult>& ds,
                           const std::vector<std::string>& keys);

// One entry per file; completed lengths come from the bitfield (none: 0).
void createFileEntry(List* files, const std::vector<std::shared_ptr<FileEntry>>& entries,
                     int64_t totalLength, int32_t pieceLength, const std::string& bitfield);
// Spent URIs as "used", then the remaining ones as "waiting".
void createUriEntry(List* uriList, const std::shared_ptr<FileEntry>& file);

// The half-open index range of a page of a list of size s, given offset o and
// count n. A negative offset counts from the end; its page is later shown
// backwards.
std::pair<size_t, size_t> getPaginationRange(int64_t o, int64_t n, size_t s);

}  // namespace rpc
}  // namespace quarn
