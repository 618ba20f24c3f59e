#pragma once

#include <memory>
#include <string>

#include "rpc/AbstractHttpServerReadCommand.h"

namespace quarn {

class DownloadEngine;
class SocketCore;

namespace rpc {

struct JsonRpcAnswer;

// Reads the body of a control request, runs the call and queues the answer.
class HttpServerBodyCommand : public AbstractHttpServerReadCommand {
 public:
  HttpServerBodyCommand(cuid_t cuid, const std::shared_ptr<HttpServer>& httpServer,
                        DownloadEngine* e, const std::shared_ptr<SocketCore>& socket);

 protected:
  bool step() override;
  bool readyWithoutInput() const override;
  const char* timeoutMessage() const override { return "HTTP request body timeout."; }
  const char* errorMessage() const override {
    return "Error occurred while reading HTTP request body";
  }

 private:
  void answerOptions();
  void answerXmlRpc();
  void answerJsonRpc(const std::string& query);
  void sendJsonRpcAnswer(const JsonRpcAnswer& answer, const std::string& callback);
  // Starts sending what was fed; answers to unauthorised calls a second late.
  void addHttpServerResponseCommand(bool delayed);

  // Shorthands of the base's accessors.
  HttpServer& server() const { return *getHttpServer(); }
};

}  // namespace rpc
}  // namespace quarn
