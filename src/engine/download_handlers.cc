#include "engine/download_handlers.h"

#include <memory>

#include "engine/ContentTypeRequestGroupCriteria.h"
#include "engine/MemoryPreDownloadHandler.h"
#include "engine/PostDownloadHandler.h"
#include "engine/ValueBaseDiskWriter.h"
#include "foundation/BencodeParser.h"
#include "storage/ByteArrayDiskWriter.h"
#include "storage/DiskWriterFactory.h"

namespace quarn {
namespace download_handlers {

const char* METALINK_CONTENT_TYPES[] = {"application/metalink4+xml", "application/metalink+xml",
                                        nullptr};
const char* METALINK_EXTENSIONS[] = {".metalink", ".meta4", nullptr};
const char* BT_CONTENT_TYPES[] = {"application/x-bittorrent", nullptr};
const char* BT_EXTENSIONS[] = {".torrent", nullptr};

namespace {

using ByteArrayFactory = AnonDiskWriterFactory<ByteArrayDiskWriter>;
using BencodeFactory = AnonDiskWriterFactory<ValueBaseDiskWriter<bittorrent::BencodeParser>>;

template <typename Factory>
std::unique_ptr<PreDownloadHandler> makeMemoryHandler(const char** contentTypes,
                                                      const char** extensions) {
  auto handler = std::make_unique<MemoryPreDownloadHandler<Factory>>();
  if (contentTypes) {
    handler->setCriteria(
        std::make_unique<ContentTypeRequestGroupCriteria>(contentTypes, extensions));
  }
  return handler;
}

}  // namespace

const PreDownloadHandler* getMemoryPreDownloadHandler() {
  static const auto handler = makeMemoryHandler<ByteArrayFactory>(nullptr, nullptr);
  return handler.get();
}

const PreDownloadHandler* getMetalinkPreDownloadHandler() {
  static const auto handler =
      makeMemoryHandler<ByteArrayFactory>(METALINK_CONTENT_TYPES, METALINK_EXTENSIONS);
  return handler.get();
}

const PreDownloadHandler* getBtPreDownloadHandler() {
  static const auto handler = makeMemoryHandler<BencodeFactory>(BT_CONTENT_TYPES, BT_EXTENSIONS);
  return handler.get();
}

namespace {

const PostDownloadHandler* metalinkPostDownloadHandler = nullptr;

}  // namespace

const PostDownloadHandler* getMetalinkPostDownloadHandler() {
  return metalinkPostDownloadHandler;
}

void setMetalinkPostDownloadHandler(const PostDownloadHandler* handler) {
  metalinkPostDownloadHandler = handler;
}

namespace {

const PostDownloadHandler* btPostDownloadHandler = nullptr;

}  // namespace

const PostDownloadHandler* getBtPostDownloadHandler() {
  return btPostDownloadHandler;
}

void setBtPostDownloadHandler(const PostDownloadHandler* handler) {
  btPostDownloadHandler = handler;
}

namespace {

const PostDownloadHandler* utMetadataPostDownloadHandler = nullptr;

}  // namespace

const PostDownloadHandler* getUTMetadataPostDownloadHandler() {
  return utMetadataPostDownloadHandler;
}

void setUTMetadataPostDownloadHandler(const PostDownloadHandler* handler) {
  utMetadataPostDownloadHandler = handler;
}

}  // namespace download_handlers
}  // namespace quarn
