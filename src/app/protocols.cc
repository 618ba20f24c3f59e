#include "app/protocols.h"

#include "client/client_services.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadSources.h"
#include "metalink/metalink_setup.h"

namespace quarn {

std::shared_ptr<DownloadSources> makeDownloadSources() {
  // Fetched Metalink documents are followed by a process-wide handler that
  // every download made from now on may carry.
  metalink::installDownloadHandlers();
  auto sources = std::make_shared<DownloadSources>();
  sources->add(metalink::createRequestGroupForMetalinkFile);
  return sources;
}

void installProtocols(DownloadEngine& engine) {
  installClient(engine);
}

}  // namespace quarn
