#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/Command.h"
#include "foundation/SegList.h"

namespace quarn {

class DownloadEngine;
class SocketCore;

// The listening socket of one address family, shared by every torrent:
// accepts a few connections per turn and hands each to the handshake
// receiver.
class PeerListenCommand : public Command {
 public:
  static constexpr int MAX_ACCEPT_PER_TURN = 3;

  PeerListenCommand(cuid_t cuid, DownloadEngine* engine, int family);
  ~PeerListenCommand() override;

  bool execute() override;
  // Tries the ports of the list in random order; false when none binds.
  bool bindPort(uint16_t& port, SegList<int>& portList);
  uint16_t getPort() const;

 private:
  void acceptOne();

  DownloadEngine* engine_;
  int family_;
  std::shared_ptr<SocketCore> socket_;
};

}  // namespace quarn
