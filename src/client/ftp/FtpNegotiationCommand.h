#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "client/common/AbstractCommand.h"

namespace quarn {

class FtpConnection;
class HttpConnection;
class Segment;
class SocketCore;

// The FTP control dialogue of one connection, from the greeting to the start
// of the transfer, as a state machine; hands the data socket and the control
// connection to an FtpDownloadCommand.
class FtpNegotiationCommand : public AbstractCommand {
 public:
  enum Seq {
    SEQ_RECV_GREETING = 0,
    SEQ_SEND_USER,
    SEQ_RECV_USER,
    SEQ_SEND_PASS,
    SEQ_RECV_PASS,
    SEQ_SEND_TYPE,
    SEQ_RECV_TYPE,
    SEQ_SEND_PWD,
    SEQ_RECV_PWD,
    SEQ_SEND_CWD_PREP,
    SEQ_SEND_CWD,
    SEQ_RECV_CWD,
    SEQ_SEND_MDTM,
    SEQ_RECV_MDTM,
    SEQ_SEND_SIZE,
    SEQ_RECV_SIZE,
    SEQ_PREPARE_PORT,
    SEQ_PREPARE_SERVER_SOCKET_EPRT,
    SEQ_SEND_EPRT,
    SEQ_RECV_EPRT,
    SEQ_PREPARE_SERVER_SOCKET,
    SEQ_SEND_PORT,
    SEQ_RECV_PORT,
    SEQ_PREPARE_PASV,
    SEQ_SEND_EPSV,
    SEQ_RECV_EPSV,
    SEQ_SEND_PASV,
    SEQ_RECV_PASV,
    SEQ_RESOLVE_PROXY,
    SEQ_SEND_TUNNEL_REQUEST,
    SEQ_RECV_TUNNEL_RESPONSE,
    SEQ_SEND_REST_PASV,
    SEQ_SEND_REST,
    SEQ_RECV_REST,
    SEQ_SEND_RETR,
    SEQ_RECV_RETR,
    SEQ_WAIT_CONNECTION,
    SEQ_NEGOTIATION_COMPLETED,
    SEQ_DOWNLOAD_ALREADY_COMPLETED = 39,
    SEQ_HEAD_OK,
    SEQ_FILE_PREPARATION,
    SEQ_EXIT,
  };

  FtpNegotiationCommand(cuid_t cuid, const std::shared_ptr<Request>& req,
                        const std::shared_ptr<FileEntry>& fileEntry, RequestGroup* requestGroup,
                        DownloadEngine* e, const std::shared_ptr<SocketCore>& socket,
                        Seq seq = SEQ_RECV_GREETING, const std::string& baseWorkingDir = "/");
  ~FtpNegotiationCommand() override;

 protected:
  bool executeInternal() override;

 private:
  bool processSequence(const std::shared_ptr<Segment>& segment);

  // Send steps advance when the command has left the queue; they never
  // continue the loop. Receive steps return true to continue.
  bool sendStep(bool sent, Seq next);

  bool recvGreeting();
  bool recvUser();
  bool recvPass();
  bool recvType();
  bool recvPwd();
  bool sendCwdPrep();
  bool recvCwd();
  bool recvMdtm();
  bool recvSize();
  bool preparePort();
  bool prepareServerSocketEprt();
  bool recvEprt();
  bool prepareServerSocket();
  bool recvPort();
  bool preparePasv();
  bool recvEpsv();
  bool recvPasv();
  bool resolveProxy();
  bool sendTunnelRequest();
  bool recvTunnelResponse();
  bool sendRestPasv(const std::shared_ptr<Segment>& segment);
  bool recvRest(const std::shared_ptr<Segment>& segment);
  bool recvRetr();
  bool waitConnection();

  bool preparePasvConnect();
  bool onFileSizeDetermined(int64_t totalLength);
  void onDryRunFileFound();
  void startOtherConnections();
  void poolConnection() const;
  Seq dataConnectionStart() const;
  [[noreturn]] void statusError(int status) const;

  std::shared_ptr<SocketCore> dataSocket_;
  std::shared_ptr<SocketCore> serverSocket_;
  Seq sequence_;
  std::shared_ptr<FtpConnection> ftp_;
  std::shared_ptr<HttpConnection> httpConnection_;
  uint16_t dataConnPort_;
  std::string proxyAddr_;
  std::deque<std::string> cwdDirs_;
};

}  // namespace quarn
