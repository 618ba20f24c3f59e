#include "app/protocols.h"

#include "client/client_services.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadSources.h"

namespace quarn {

std::shared_ptr<DownloadSources> makeDownloadSources() {
  return std::make_shared<DownloadSources>();
}

void installProtocols(DownloadEngine& engine) {
  installClient(engine);
}

}  // namespace quarn
