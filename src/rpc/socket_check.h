#pragma once

namespace quarn {

class Command;
class DownloadEngine;

namespace rpc {

enum class CheckKind { READ, WRITE };

// Adds or drops a readiness check of a command so that it is registered
// exactly while wanted; registered tracks the state.
void updateSocketCheck(DownloadEngine* e, int fd, Command* command, CheckKind kind, bool want,
                       bool& registered);

}  // namespace rpc
}  // namespace quarn
