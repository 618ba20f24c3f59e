#pragma once

namespace quarn {

class PreDownloadHandler;
class PostDownloadHandler;

// The process-wide download handlers, each made on first request.
namespace download_handlers {

// Keeps any download in memory (downloads made from Metalink documents).
const PreDownloadHandler* getMemoryPreDownloadHandler();
// Keeps a Metalink document in memory.
const PreDownloadHandler* getMetalinkPreDownloadHandler();
// Parses a torrent file in memory.
const PreDownloadHandler* getBtPreDownloadHandler();

// The handlers that turn a completed Metalink document, torrent file or
// magnet metadata into new downloads; null until the subsystem that reads the
// format provides one.
const PostDownloadHandler* getMetalinkPostDownloadHandler();
// Called once at start-up by the program set-up; the handler must outlive
// every download.
void setMetalinkPostDownloadHandler(const PostDownloadHandler* handler);
const PostDownloadHandler* getBtPostDownloadHandler();
const PostDownloadHandler* getUTMetadataPostDownloadHandler();

// The engine never sees the torrent reader, so the program's set-up hands
// over the one handler of torrent files before it makes any download;
// downloads made earlier do not follow torrent files.
void setBtPostDownloadHandler(const PostDownloadHandler* handler);
// Likewise for the handler that turns a magnet link's fetched metadata into
// the torrent download.
void setUTMetadataPostDownloadHandler(const PostDownloadHandler* handler);

extern const char* METALINK_CONTENT_TYPES[];
extern const char* METALINK_EXTENSIONS[];
extern const char* BT_CONTENT_TYPES[];
extern const char* BT_EXTENSIONS[];

}  // namespace download_handlers
}  // namespace quarn
