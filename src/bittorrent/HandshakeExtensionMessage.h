#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bittorrent/ExtensionMessage.h"
#include "bittorrent/ExtensionMessageRegistry.h"

namespace quarn {

class DownloadContext;
class Peer;

// The extension handshake: which extensions a side supports and under which
// ids, its listening port, agent and metadata size.
class HandshakeExtensionMessage : public ExtensionMessage {
 public:
  static constexpr uint8_t EXTENSION_MESSAGE_ID = 0;
  static constexpr const char* EXTENSION_NAME = "handshake";
  static constexpr size_t MAX_METADATA_SIZE = 8 * 1024 * 1024;

  // data starts at the extended id byte.
  static std::unique_ptr<HandshakeExtensionMessage> create(const unsigned char* data,
                                                           size_t length);

  std::string getPayload() override;
  uint8_t getExtensionMessageID() const override { return EXTENSION_MESSAGE_ID; }
  const char* getExtensionName() const override { return EXTENSION_NAME; }
  std::string toString() const override;
  void doReceivedAction() override;

  const std::string& getClientVersion() const { return clientVersion_; }
  void setClientVersion(std::string version) { clientVersion_ = std::move(version); }
  uint16_t getTCPPort() const { return tcpPort_; }
  void setTCPPort(uint16_t port) { tcpPort_ = port; }
  size_t getMetadataSize() const { return metadataSize_; }
  void setMetadataSize(size_t size) { metadataSize_ = size; }
  ExtensionMessageRegistry& getExtensionMessageRegistry() { return extreg_; }
  void setExtensions(const ExtensionMessageRegistry& registry) { extreg_ = registry; }
  void setDownloadContext(DownloadContext* dctx) { dctx_ = dctx; }
  void setPeer(std::shared_ptr<Peer> peer) { peer_ = std::move(peer); }

 private:
  std::string clientVersion_;
  uint16_t tcpPort_ = 0;
  size_t metadataSize_ = 0;
  ExtensionMessageRegistry extreg_;
  DownloadContext* dctx_ = nullptr;
  std::shared_ptr<Peer> peer_;
};

}  // namespace quarn
