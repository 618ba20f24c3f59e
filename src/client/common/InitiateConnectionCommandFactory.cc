#include "client/common/InitiateConnectionCommandFactory.h"

#include "engine/DownloadEngine.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "storage/Request.h"

namespace quarn {

std::unique_ptr<Command> InitiateConnectionCommandFactory::createInitiateConnectionCommand(
    cuid_t cuid, const std::shared_ptr<Request>& req, const std::shared_ptr<FileEntry>& fileEntry,
    RequestGroup* requestGroup, DownloadEngine* e) {
  const std::string& protocol = req->getProtocol();
  if (auto* factory = e->getService<InitiateConnectionCommandFactory>()) {
    auto it = factory->creators_.find(protocol);
    if (it != factory->creators_.end()) {
      return it->second(cuid, req, fileEntry, requestGroup, e);
    }
  }
  throw DL_ABORT_EX(fmt("%s is not supported yet.", protocol.c_str()));
}

InitiateConnectionCommandFactory& InitiateConnectionCommandFactory::of(DownloadEngine& e) {
  if (auto* factory = e.getService<InitiateConnectionCommandFactory>()) {
    return *factory;
  }
  e.setService(std::make_unique<InitiateConnectionCommandFactory>());
  return *e.getService<InitiateConnectionCommandFactory>();
}

void InitiateConnectionCommandFactory::add(std::initializer_list<const char*> schemes,
                                           const Creator& creator) {
  for (const char* scheme : schemes) {
    creators_[scheme] = creator;
  }
}

}  // namespace quarn
