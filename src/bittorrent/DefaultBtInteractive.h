#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "bittorrent/BtInteractive.h"
#include "bittorrent/ExtensionMessageRegistry.h"
#include "foundation/Timer.h"

namespace quarn {

class BtMessageDispatcher;
class BtMessageFactory;
class BtMessageReceiver;
class BtRequestFactory;
class BtRuntime;
class DownloadContext;
class ExtensionMessageFactory;
class Peer;
class PeerConnection;
class PeerStorage;
class PieceStorage;
class RequestGroupMan;
class UTMetadataRequestFactory;
class UTMetadataRequestTracker;

// One peer connection's protocol: the handshakes, the opening messages and
// then, per turn, idle and flood checks, received messages, choking,
// interest, new pieces, keep-alives and block requests.
class DefaultBtInteractive : public BtInteractive {
 public:
  // A fast peer's messages are handled in bounded portions per turn, so
  // that one connection cannot starve every other command.
  static constexpr size_t MAX_MESSAGES_PER_TURN = 1024;
  static constexpr size_t MAX_BYTES_PER_TURN = 2 * 1024 * 1024;
  static constexpr size_t MAX_OUTSTANDING_REQUESTS = 256;
  static constexpr size_t INITIAL_OUTSTANDING_REQUESTS = 6;
  static constexpr size_t ALLOWED_FAST_SET_SIZE = 10;

  DefaultBtInteractive(std::shared_ptr<DownloadContext> downloadContext,
                       std::shared_ptr<Peer> peer);
  ~DefaultBtInteractive() override;

  void initiateHandshake() override;
  std::unique_ptr<BtHandshakeMessage> receiveHandshake(bool quickReply = false) override;
  std::unique_ptr<BtHandshakeMessage> receiveAndSendHandshake() override;
  void doPostHandshakeProcessing() override;
  void doInteractionProcessing() override;
  void cancelAllPiece() override;
  void sendPendingMessage() override;
  size_t countPendingMessage() override;
  bool isSendingMessageInProgress() override;
  size_t countReceivedMessageInIteration() const override { return receivedMessageCount_; }
  size_t countOutstandingRequest() override;
  // Complete messages were left buffered for the next turn.
  bool isReceiveBoundReached() const { return receiveBoundReached_; }
  size_t getMaxOutstandingRequest() const { return maxOutstandingRequest_; }

  void setCuid(int64_t cuid) { cuid_ = cuid; }
  void setBtRuntime(std::shared_ptr<BtRuntime> runtime) { btRuntime_ = std::move(runtime); }
  void setPieceStorage(std::shared_ptr<PieceStorage> storage) {
    pieceStorage_ = std::move(storage);
  }
  void setPeerStorage(std::shared_ptr<PeerStorage> storage) { peerStorage_ = std::move(storage); }
  void setBtMessageReceiver(std::unique_ptr<BtMessageReceiver> receiver);
  void setDispatcher(std::unique_ptr<BtMessageDispatcher> dispatcher);
  void setBtRequestFactory(std::unique_ptr<BtRequestFactory> factory);
  void setPeerConnection(std::unique_ptr<PeerConnection> connection);
  void setExtensionMessageFactory(std::unique_ptr<ExtensionMessageFactory> factory);
  void setBtMessageFactory(std::unique_ptr<BtMessageFactory> factory);
  void setExtensionMessageRegistry(std::unique_ptr<ExtensionMessageRegistry> registry);
  void setRequestGroupMan(RequestGroupMan* man) { requestGroupMan_ = man; }
  void setKeepAliveInterval(std::chrono::seconds interval) { keepAliveInterval_ = interval; }
  void setTcpPort(uint16_t port) { tcpPort_ = port; }
  void setUTPexEnabled(bool enabled) { utPexEnabled_ = enabled; }
  void setDHTEnabled(bool enabled) { dhtEnabled_ = enabled; }
  void setLocalNodePort(uint16_t port) { localNodePort_ = port; }
  void setUTMetadataRequestTracker(std::unique_ptr<UTMetadataRequestTracker> tracker);
  void setUTMetadataRequestFactory(std::unique_ptr<UTMetadataRequestFactory> factory);
  // The connection only fetches a magnet link's metadata.
  void enableMetadataGetMode() { metadataGetMode_ = true; }

 private:
  void addHandshakeExtensionToQueue();
  void addBitfieldMessageToQueue();
  void addAllowedFastMessageToQueue();
  void checkActiveInteraction();
  void receiveMessages();
  void detectMessageFlooding();
  void decideChoking();
  void decideInterest();
  void checkHave();
  void sendKeepAlive();
  void addRequests();
  void fillPiece(size_t maxMissingBlock);
  bool downloadSpeedExceeded() const;
  void addPeerExchangeMessage();
  void doMetadataGetProcessing();
  void sendPeerExchangeAndPending();

  int64_t cuid_ = 0;
  std::shared_ptr<DownloadContext> downloadContext_;
  std::shared_ptr<BtRuntime> btRuntime_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  std::shared_ptr<PeerStorage> peerStorage_;
  std::shared_ptr<Peer> peer_;
  // The connection goes last: the other objects point into it.
  std::unique_ptr<PeerConnection> peerConnection_;
  std::unique_ptr<BtMessageFactory> messageFactory_;
  std::unique_ptr<ExtensionMessageFactory> extensionMessageFactory_;
  std::unique_ptr<ExtensionMessageRegistry> extensionMessageRegistry_;
  std::unique_ptr<BtMessageDispatcher> dispatcher_;
  std::unique_ptr<BtRequestFactory> requestFactory_;
  std::unique_ptr<BtMessageReceiver> receiver_;
  std::unique_ptr<UTMetadataRequestTracker> utMetadataRequestTracker_;
  std::unique_ptr<UTMetadataRequestFactory> utMetadataRequestFactory_;
  bool metadataGetMode_ = false;
  Timer pexTimer_;
  uint64_t lastHaveIndex_ = 0;
  Timer keepAliveTimer_;
  Timer floodingTimer_;
  int32_t chokeUnchokeCount_ = 0;
  int32_t keepAliveCount_ = 0;
  Timer inactiveTimer_;
  Timer perSecondTimer_;
  std::chrono::seconds keepAliveInterval_{120};
  bool utPexEnabled_ = false;
  bool dhtEnabled_ = false;
  uint16_t localNodePort_ = 0;
  size_t receivedMessageCount_ = 0;
  bool receiveBoundReached_ = false;
  size_t maxOutstandingRequest_ = INITIAL_OUTSTANDING_REQUESTS;
  RequestGroupMan* requestGroupMan_ = nullptr;
  uint16_t tcpPort_ = 0;
};

}  // namespace quarn
