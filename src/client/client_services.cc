#include "client/client_services.h"

#include <memory>

#include "client/common/CreateRequestCommand.h"
#include "client/ftp/ftp_install.h"
#include "client/http/http_install.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadStarter.h"

namespace quarn {

namespace {

class ClientDownloadStarter : public UriDownloadStarter {
 public:
  std::unique_ptr<Command> createConnectionCommand(cuid_t cuid, RequestGroup* group,
                                                   DownloadEngine* engine) override {
    return std::make_unique<CreateRequestCommand>(cuid, group, engine);
  }
};

}  // namespace

void installClient(DownloadEngine& engine) {
  engine.setService<UriDownloadStarter>(std::make_unique<ClientDownloadStarter>());
  installHttp(engine);
  installFtp(engine);
}

}  // namespace quarn
