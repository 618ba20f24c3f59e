#pragma once

#include <memory>
#include <string>

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class DownloadEngine;
class SocketCore;

namespace rpc {

class HttpServer;
struct JsonRpcAnswer;

// Reads the body of a control request, runs the call and queues the answer.
class HttpServerBodyCommand : public Command {
 public:
  HttpServerBodyCommand(cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer,
                        DownloadEngine* e, const std::shared_ptr<SocketCore>& socket);
  ~HttpServerBodyCommand() override;

  bool execute() override;

 private:
  void updateWriteCheck();
  void answerOptions();
  void answerXmlRpc();
  void answerJsonRpc(const std::string& query);
  void sendJsonRpcAnswer(const JsonRpcAnswer& answer, const std::string& callback);
  // Starts sending what was fed; answers to unauthorised calls a second late.
  void addHttpServerResponseCommand(bool delayed);

  DownloadEngine* e_;
  std::shared_ptr<SocketCore> socket_;
  std::shared_ptr<HttpServer> httpServer_;
  Timer timeoutTimer_;
  bool writeCheck_;
};

}  // namespace rpc
}  // namespace quarn
