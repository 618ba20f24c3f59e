#pragma once

#include <memory>
#include <utility>
#include <vector>

namespace quarn {

class Command;
class DownloadEngine;

// Builds the DHT of one address family the first time a torrent needs it:
// loads the saved routing table, binds the UDP socket (which the UDP tracker
// client shares), wires every object into the engine's DHTRegistry and makes
// the commands that drive them.
class DHTSetup {
 public:
  using Commands = std::vector<std::unique_ptr<Command>>;

  // Normal commands first, routine commands second; both empty when the
  // family runs already or could not be set up (then logged, and tried again
  // by the next call).
  std::pair<Commands, Commands> setup(DownloadEngine* e, int family);
};

}  // namespace quarn
