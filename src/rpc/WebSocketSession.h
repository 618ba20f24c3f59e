#pragma once

#include <wslay/wslay.h>

#include <memory>
#include <string>

#include "foundation/GenericParser.h"
#include "foundation/JsonParser.h"
#include "foundation/ValueBaseStructParserStateMachine.h"

namespace quarn {

class DownloadEngine;
class SocketCore;

namespace rpc {

class WebSocketInteractionCommand;

// One open WebSocket of the control server: every data message is a JSON-RPC
// request or batch, every answer and notification a text message. Framing is
// the wslay library's.
class WebSocketSession : public std::enable_shared_from_this<WebSocketSession> {
 public:
  WebSocketSession(const std::shared_ptr<SocketCore>& socket, DownloadEngine* e);
  ~WebSocketSession();
  WebSocketSession(const WebSocketSession&) = delete;
  WebSocketSession& operator=(const WebSocketSession&) = delete;

  // 0, or -1 when the connection failed.
  int onReadEvent();
  int onWriteEvent();
  bool wantRead() const;
  bool wantWrite() const;
  // Neither reading nor writing is wanted any more (after a close exchange).
  bool finish() const;
  bool closeReceived() const;
  bool closeSent() const;

  // Queues a text message; a delayed one is queued a second later.
  void addTextMessage(const std::string& text, bool delayed);

  // The payload of the message being received. A message that outgrows
  // rpc-max-request-size is dropped to its end and answered with a parse
  // error, so that no spliced remainder can run.
  void parseUpdate(const uint8_t* data, size_t length);
  std::unique_ptr<ValueBase> parseFinal(ssize_t& error);

  void setCommand(WebSocketInteractionCommand* command) { command_ = command; }
  WebSocketInteractionCommand* getCommand() const { return command_; }
  const std::shared_ptr<SocketCore>& getSocket() const { return socket_; }
  DownloadEngine* getDownloadEngine() const { return e_; }

  void setIgnorePayload(bool f) { ignorePayload_ = f; }
  bool getIgnorePayload() const { return ignorePayload_; }

 private:
  std::shared_ptr<SocketCore> socket_;
  DownloadEngine* e_;
  wslay_event_context_ptr wsctx_;
  bool ignorePayload_;
  bool overLimit_;
  uint64_t receivedLength_;
  GenericParser<json::JsonParser, ValueBaseStructParserStateMachine> parser_;
  WebSocketInteractionCommand* command_;
};

}  // namespace rpc
}  // namespace quarn
