#pragma once

#include <string>
#include <vector>

namespace quarn {

class AsyncNameResolverMan;
class Command;
class DownloadEngine;

namespace bittorrent {

// Polls the asynchronous look-up of hostname that command waits on, starting
// it on the first call, and logs the outcome. 1: resolved, the addresses are
// appended to res; 0: still waiting; -1: failed (also when the answer held no
// address). Shared by the commands that resolve UDP endpoints: trackers and
// DHT entry points.
int pollHostnameResolution(AsyncNameResolverMan& resolverMan, DownloadEngine* e, Command* command,
                           const std::string& hostname, std::vector<std::string>& res);

}  // namespace bittorrent
}  // namespace quarn
