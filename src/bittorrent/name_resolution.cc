#include "bittorrent/name_resolution.h"

#include "engine/AsyncNameResolverMan.h"
#include "engine/Command.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"

namespace quarn {
namespace bittorrent {

int pollHostnameResolution(AsyncNameResolverMan& resolverMan, DownloadEngine* e, Command* command,
                           const std::string& hostname, std::vector<std::string>& res) {
  if (!resolverMan.started()) {
    resolverMan.startAsync(hostname, e, command);
  }
  const auto cuid = static_cast<long long>(command->getCuid());
  switch (resolverMan.getStatus()) {
    case -1:
      QLOG_INFO(fmt("CUID#%lld - Name resolution for %s failed:%s", cuid, hostname.c_str(),
                    resolverMan.getLastError().c_str()));
      return -1;
    case 0:
      return 0;
    default:
      resolverMan.getResolvedAddress(res);
      if (res.empty()) {
        QLOG_INFO(fmt("CUID#%lld - Name resolution for %s failed:%s", cuid, hostname.c_str(),
                      "No address returned"));
        return -1;
      }
      QLOG_INFO(fmt("CUID#%lld - Name resolution complete: %s -> %s", cuid, hostname.c_str(),
                    res.front().c_str()));
      return 1;
  }
}

}  // namespace bittorrent
}  // namespace quarn
