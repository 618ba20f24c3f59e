#include "rpc/control_server.h"

#include <sys/socket.h>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/Notifier.h"
#include "foundation/DlAbortEx.h"
#include "rpc/HttpListenCommand.h"
#include "rpc/WebSocketSessionMan.h"

namespace quarn {
namespace rpc {

void setupControlServer(DownloadEngine* e, Notifier* notifier) {
  const Option* op = e->getOption();
  if (!op->getAsBool(PREF_ENABLE_RPC)) {
    return;
  }
  std::vector<int> families = {AF_INET};
  if (!op->getAsBool(PREF_DISABLE_IPV6)) {
    families.push_back(AF_INET6);
  }
  bool bound = false;
  auto port = static_cast<uint16_t>(op->getAsInt(PREF_RPC_LISTEN_PORT));
  for (int family : families) {
    auto command = std::make_unique<HttpListenCommand>(e->newCUID(), e, family,
                                                       op->getAsBool(PREF_RPC_SECURE));
    if (command->bindPort(port)) {
      e->addCommand(std::move(command));
      bound = true;
    }
  }
  if (!bound) {
    throw DL_ABORT_EX("Failed to setup RPC server.");
  }
  auto man = std::make_unique<WebSocketSessionMan>();
  if (notifier) {
    notifier->addDownloadEventListener(man.get());
  }
  e->setService(std::move(man));
}

}  // namespace rpc
}  // namespace quarn
