#include "rpc/WebSocketSession.h"

#include <cassert>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "foundation/LogMacros.h"
#include "foundation/Null.h"
#include "foundation/RecoverableException.h"
#include "foundation/i18n.h"
#include "net/SocketCore.h"
#include "rpc/DelayedCommand.h"
#include "rpc/TextMessageCommand.h"
#include "rpc/WebSocketInteractionCommand.h"
#include "rpc/json_rpc.h"

namespace quarn {
namespace rpc {

namespace {

WebSocketSession* sessionOf(void* userData) {
  return static_cast<WebSocketSession*>(userData);
}

// Sets the library's error from the socket's state when no byte moved.
ssize_t ioResult(wslay_event_context_ptr ctx, SocketCore& socket, ssize_t n) {
  if (n > 0) {
    return n;
  }
  wslay_event_set_error(ctx, socket.wantRead() || socket.wantWrite() ? WSLAY_ERR_WOULDBLOCK
                                                                     : WSLAY_ERR_CALLBACK_FAILURE);
  return -1;
}

ssize_t recvCallback(wslay_event_context_ptr ctx, uint8_t* buf, size_t len, int /*flags*/,
                     void* userData) {
  auto& socket = *sessionOf(userData)->getSocket();
  try {
    socket.readData(buf, len);
    return ioResult(ctx, socket, static_cast<ssize_t>(len));
  } catch (RecoverableException& ex) {
    QLOG_DEBUG_EX(_("Exception caught"), ex);
    wslay_event_set_error(ctx, WSLAY_ERR_CALLBACK_FAILURE);
    return -1;
  }
}

ssize_t sendCallback(wslay_event_context_ptr ctx, const uint8_t* data, size_t len, int /*flags*/,
                     void* userData) {
  auto& socket = *sessionOf(userData)->getSocket();
  try {
    return ioResult(ctx, socket, socket.writeData(data, len));
  } catch (RecoverableException& ex) {
    QLOG_DEBUG_EX(_("Exception caught"), ex);
    wslay_event_set_error(ctx, WSLAY_ERR_CALLBACK_FAILURE);
    return -1;
  }
}

bool isControlFrame(uint8_t opcode) {
  return (opcode & 0x8) != 0;
}

void onFrameRecvStartCallback(wslay_event_context_ptr /*ctx*/,
                              const wslay_event_on_frame_recv_start_arg* arg, void* userData) {
  sessionOf(userData)->setIgnorePayload(isControlFrame(arg->opcode));
}

void onFrameRecvChunkCallback(wslay_event_context_ptr /*ctx*/,
                              const wslay_event_on_frame_recv_chunk_arg* arg, void* userData) {
  auto* session = sessionOf(userData);
  if (!session->getIgnorePayload()) {
    session->parseUpdate(arg->data, arg->data_length);
  }
}

void addResponse(WebSocketSession* session, const JsonRpcAnswer& answer) {
  session->addTextMessage(answer.encode("", false), answer.unauthorized());
}

void onMsgRecvCallback(wslay_event_context_ptr /*ctx*/, const wslay_event_on_msg_recv_arg* arg,
                       void* userData) {
  auto* session = sessionOf(userData);
  if (isControlFrame(arg->opcode)) {
    // Pings, pongs and closes are the library's; the client learns that they
    // are no calls.
    JsonRpcAnswer answer;
    answer.responses.push_back(
        createJsonRpcErrorResponse(-32600, "Invalid Request.", std::make_unique<Null>()));
    addResponse(session, answer);
    return;
  }
  ssize_t error = 0;
  std::unique_ptr<ValueBase> value = session->parseFinal(error);
  if (error < 0 || !value) {
    QLOG_INFO("Failed to parse JSON-RPC request");
    value.reset();
  }
  addResponse(session, processJsonRpcValue(value.get(), session->getDownloadEngine()));
}

}  // namespace

WebSocketSession::WebSocketSession(const std::shared_ptr<SocketCore>& socket, DownloadEngine* e)
    : socket_(socket),
      e_(e),
      wsctx_(nullptr),
      ignorePayload_(false),
      overLimit_(false),
      receivedLength_(0),
      command_(nullptr) {
  wslay_event_callbacks callbacks{};
  callbacks.recv_callback = recvCallback;
  callbacks.send_callback = sendCallback;
  callbacks.on_frame_recv_start_callback = onFrameRecvStartCallback;
  callbacks.on_frame_recv_chunk_callback = onFrameRecvChunkCallback;
  callbacks.on_msg_recv_callback = onMsgRecvCallback;
  int rv = wslay_event_context_server_init(&wsctx_, &callbacks, this);
  assert(rv == 0);
  (void)rv;
  wslay_event_config_set_no_buffering(wsctx_, 1);
}

WebSocketSession::~WebSocketSession() {
  wslay_event_context_free(wsctx_);
}

int WebSocketSession::onReadEvent() {
  return wslay_event_recv(wsctx_) == 0 ? 0 : -1;
}

int WebSocketSession::onWriteEvent() {
  return wslay_event_send(wsctx_) == 0 ? 0 : -1;
}

bool WebSocketSession::wantRead() const {
  return wslay_event_want_read(wsctx_);
}

bool WebSocketSession::wantWrite() const {
  return wslay_event_want_write(wsctx_);
}

bool WebSocketSession::finish() const {
  return !wantRead() && !wantWrite();
}

bool WebSocketSession::closeReceived() const {
  return wslay_event_get_close_received(wsctx_);
}

bool WebSocketSession::closeSent() const {
  return wslay_event_get_close_sent(wsctx_);
}

void WebSocketSession::addTextMessage(const std::string& text, bool delayed) {
  if (delayed) {
    if (!command_) {
      return;
    }
    cuid_t cuid = command_->getCuid();
    auto command = std::make_unique<TextMessageCommand>(cuid, shared_from_this(), text);
    e_->addCommand(std::make_unique<DelayedCommand>(cuid, e_, std::chrono::seconds(1),
                                                    std::move(command), false));
    return;
  }
  wslay_event_msg msg{1, reinterpret_cast<const uint8_t*>(text.data()), text.size()};
  wslay_event_queue_msg(wsctx_, &msg);
}

void WebSocketSession::parseUpdate(const uint8_t* data, size_t length) {
  if (overLimit_) {
    return;
  }
  auto maxLength = static_cast<uint64_t>(e_->getOption()->getAsLLInt(PREF_RPC_MAX_REQUEST_SIZE));
  if (receivedLength_ + length > maxLength) {
    overLimit_ = true;
    return;
  }
  receivedLength_ += length;
  parser_.parseUpdate(reinterpret_cast<const char*>(data), length);
}

std::unique_ptr<ValueBase> WebSocketSession::parseFinal(ssize_t& error) {
  auto value = parser_.parseFinal(nullptr, 0, error);
  if (overLimit_) {
    error = -1;
    value.reset();
  }
  overLimit_ = false;
  receivedLength_ = 0;
  return value;
}

}  // namespace rpc
}  // namespace quarn
