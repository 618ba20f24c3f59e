#pragma once

#include <chrono>
#include <memory>

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class DownloadEngine;
class DownloadFailureException;
class Peer;
class SocketCore;

// The execute frame of the commands of one peer connection: socket
// readiness, the inactivity time-out and what happens when the connection
// fails (give the peer back, maybe start a replacement).
class PeerAbstractCommand : public Command {
 public:
  PeerAbstractCommand(cuid_t cuid, std::shared_ptr<Peer> peer, DownloadEngine* engine,
                      std::shared_ptr<SocketCore> socket = nullptr);
  ~PeerAbstractCommand() override;

  bool execute() override;

 protected:
  virtual bool prepareForNextPeer(std::chrono::seconds /*wait*/) { return true; }
  virtual void onAbort() {}
  virtual void onFailure(const DownloadFailureException& /*ex*/) {}
  virtual bool exitBeforeExecute() = 0;
  virtual bool executeInternal() = 0;

  void setReadCheckSocket(const std::shared_ptr<SocketCore>& socket);
  void setWriteCheckSocket(const std::shared_ptr<SocketCore>& socket);
  void disableReadCheckSocket();
  void disableWriteCheckSocket();
  // Waits for exactly the socket events a handshake in progress asks for.
  void checkSocketFor(bool read, bool write);
  void setNoCheck(bool check) { noCheck_ = check; }
  void updateKeepAlive();
  void createSocket();
  void addCommandSelf();
  void setTimeout(std::chrono::seconds timeout) { timeout_ = timeout; }

  DownloadEngine* getDownloadEngine() const { return engine_; }
  const std::shared_ptr<Peer>& getPeer() const { return peer_; }
  const std::shared_ptr<SocketCore>& getSocket() const { return socket_; }

 private:
  bool socketEventArrived() const;

  Timer checkPoint_;
  std::chrono::seconds timeout_;
  DownloadEngine* engine_;
  std::shared_ptr<SocketCore> socket_;
  std::shared_ptr<Peer> peer_;
  bool checkSocketIsReadable_ = false;
  bool checkSocketIsWritable_ = false;
  std::shared_ptr<SocketCore> readCheckTarget_;
  std::shared_ptr<SocketCore> writeCheckTarget_;
  bool noCheck_ = false;
};

}  // namespace quarn
