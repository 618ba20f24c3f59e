#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "foundation/Time.h"

namespace quarn {

class AuthConfig;
class Option;
class Request;
class Segment;
class SocketBuffer;
class SocketCore;

// The FTP control channel of one client connection: writes the commands,
// cuts the incoming byte stream into complete replies and parses the replies
// that carry data. The order of the dialogue is the caller's business.
class FtpConnection {
 public:
  // A reply: its status and its whole text, every line with its CR LF. A
  // status of 0 means no complete reply has arrived yet.
  using Reply = std::pair<int, std::string>;

  static constexpr size_t MAX_RECV_BUFFER = 65536;

  FtpConnection(int64_t cuid, std::shared_ptr<SocketCore> socket, std::shared_ptr<Request> req,
                std::shared_ptr<AuthConfig> authConfig, const Option* option);
  ~FtpConnection();
  FtpConnection(const FtpConnection&) = delete;
  FtpConnection& operator=(const FtpConnection&) = delete;

  // Each send operation queues its command on the first call and flushes on
  // every call; true once the command has left the send queue completely.
  bool sendUser();
  bool sendPass();
  bool sendType();
  bool sendPwd();
  bool sendCwd(const std::string& dir);
  bool sendMdtm();
  bool sendSize();
  bool sendEpsv();
  bool sendPasv();
  bool sendEprt(const std::shared_ptr<SocketCore>& serverSocket);
  bool sendPort(const std::shared_ptr<SocketCore>& serverSocket);
  bool sendRest(const std::shared_ptr<Segment>& segment);
  bool sendRetr();

  // A listening socket on the control connection's local address for an
  // active-mode data connection.
  std::shared_ptr<SocketCore> createServerSocket();

  int receiveResponse();
  int receiveSizeResponse(int64_t& size);
  int receiveMdtmResponse(Time& time);
  int receiveEpsvResponse(uint16_t& port);
  int receivePasvResponse(std::pair<std::string, uint16_t>& hostAndPort);
  int receivePwdResponse(std::string& dir);

  // Bytes of the control connection that an earlier reader took off the
  // socket; they are read before anything the socket still holds.
  void setInitialReceivedBytes(std::string bytes) { recvBuffer_ = std::move(bytes); }

  // True while received bytes wait to be read as a reply: a reply that came
  // in the same read as the one before it raises no readiness event.
  bool hasPendingReply() const { return !recvBuffer_.empty(); }

  void setBaseWorkingDir(const std::string& dir) { baseWorkingDir_ = dir; }
  const std::string& getBaseWorkingDir() const { return baseWorkingDir_; }
  const std::string& getUser() const;

  // The status of a reply text, 0 when it does not start like one.
  static int getStatus(const std::string& text);
  // The length of the first complete reply in `buf`, npos when none is.
  static size_t findEndOfResponse(int status, const std::string& buf);

  // Payload parsers, applied to the whole reply text.
  static int64_t parseSize(const std::string& text);
  static Time parseMdtm(const std::string& text);
  static uint16_t parseEpsvPort(const std::string& text);
  static std::pair<std::string, uint16_t> parsePasv(const std::string& text);
  static std::string parsePwd(const std::string& text);

  // Throws unless `arg` can travel inside one command line: a CR, LF or NUL
  // in it would end the command early and let the rest pass as a command of
  // its own.
  static void checkArgument(const std::string& arg);

 private:
  bool sendCommand(const std::string& command, const std::string& logText);
  bool sendCommand(const std::string& command) { return sendCommand(command, command); }
  bool flush();
  bool sendFileCommand(const char* verb);
  bool bulkReceiveResponse(Reply& reply);

  int64_t cuid_;
  std::shared_ptr<SocketCore> socket_;
  std::shared_ptr<Request> req_;
  std::shared_ptr<AuthConfig> authConfig_;
  const Option* option_;
  std::string recvBuffer_;
  std::unique_ptr<SocketBuffer> socketBuffer_;
  std::string baseWorkingDir_;
};

}  // namespace quarn
