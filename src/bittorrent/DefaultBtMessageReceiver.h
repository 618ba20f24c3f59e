#pragma once

#include "bittorrent/BtMessageReceiver.h"

namespace quarn {

class BtMessageDispatcher;
class BtMessageFactory;
class DownloadContext;
class PeerConnection;

class DefaultBtMessageReceiver : public BtMessageReceiver {
 public:
  std::unique_ptr<BtHandshakeMessage> receiveHandshake(bool quickReply = false) override;
  std::unique_ptr<BtHandshakeMessage> receiveAndSendHandshake() override;
  std::unique_ptr<BtMessage> receiveMessage() override;

  void setDownloadContext(DownloadContext* downloadContext) { downloadContext_ = downloadContext; }
  void setPeerConnection(PeerConnection* connection) { peerConnection_ = connection; }
  void setBtMessageDispatcher(BtMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  void setBtMessageFactory(BtMessageFactory* factory) { messageFactory_ = factory; }

 private:
  void sendHandshake();

  bool handshakeSent_ = false;
  DownloadContext* downloadContext_ = nullptr;
  PeerConnection* peerConnection_ = nullptr;
  BtMessageDispatcher* dispatcher_ = nullptr;
  BtMessageFactory* messageFactory_ = nullptr;
};

}  // namespace quarn
