#include "app/protocols.h"

#include "bittorrent/BtPostDownloadHandler.h"
#include "bittorrent/bt_downloads.h"
#include "client/client_services.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadSources.h"
#include "engine/download_handlers.h"

namespace quarn {

std::shared_ptr<DownloadSources> makeDownloadSources() {
  auto sources = std::make_shared<DownloadSources>();
  sources->add(bittorrent::makeDownloads);
  return sources;
}

void installDownloadHandlers() {
  download_handlers::setBtPostDownloadHandler(std::make_unique<BtPostDownloadHandler>());
}

void installProtocols(DownloadEngine& engine) {
  installClient(engine);
  bittorrent::install(engine);
}

}  // namespace quarn
