#include "app/protocols.h"

#include "bittorrent/bt_downloads.h"
#include "client/client_services.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadSources.h"

namespace quarn {

std::shared_ptr<DownloadSources> makeDownloadSources() {
  auto sources = std::make_shared<DownloadSources>();
  sources->add(bittorrent::makeDownloads);
  return sources;
}

void installProtocols(DownloadEngine& engine) {
  installClient(engine);
  bittorrent::install(engine);
}

}  // namespace quarn
