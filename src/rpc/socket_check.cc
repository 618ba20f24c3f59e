#include "rpc/socket_check.h"

#include "engine/DownloadEngine.h"

namespace quarn {
namespace rpc {

void updateSocketCheck(DownloadEngine* e, int fd, Command* command, CheckKind kind, bool want,
                       bool& registered) {
  if (want == registered) {
    return;
  }
  registered = want;
  if (kind == CheckKind::READ) {
    want ? e->addSocketForReadCheck(fd, command) : e->deleteSocketForReadCheck(fd, command);
  } else {
    want ? e->addSocketForWriteCheck(fd, command) : e->deleteSocketForWriteCheck(fd, command);
  }
}

}  // namespace rpc
}  // namespace quarn
