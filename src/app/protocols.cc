#include "app/protocols.h"

#include "bittorrent/bt_downloads.h"
#include "client/client_services.h"
#include "dht/DHTTorrentSupport.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadSources.h"
#include "metalink/metalink_setup.h"

namespace quarn {

std::shared_ptr<DownloadSources> makeDownloadSources() {
  // Fetched Metalink documents and torrent files are followed by
  // process-wide handlers that every download made from now on may carry.
  metalink::installDownloadHandlers();
  bittorrent::installDownloadHandlers();
  auto sources = std::make_shared<DownloadSources>();
  // Torrent files and magnet links first, then Metalink documents.
  sources->add(bittorrent::makeDownloads);
  sources->add(metalink::createRequestGroupForMetalinkFile);
  return sources;
}

void installProtocols(DownloadEngine& engine) {
  installClient(engine);
  bittorrent::install(engine);
  dht::install(engine);
}

}  // namespace quarn
