#pragma once

#include <memory>

#include "bittorrent/ExtensionMessageFactory.h"

namespace quarn {

class BtMessageDispatcher;
class BtMessageFactory;
class DownloadContext;
class ExtensionMessageRegistry;
class Peer;
class PeerStorage;
class UTMetadataRequestTracker;

// Decodes the extended payloads of one peer connection by this side's ids.
class DefaultExtensionMessageFactory : public ExtensionMessageFactory {
 public:
  DefaultExtensionMessageFactory(std::shared_ptr<Peer> peer, ExtensionMessageRegistry* registry)
      : peer_(std::move(peer)), registry_(registry) {}

  std::unique_ptr<ExtensionMessage> createMessage(const unsigned char* data,
                                                  size_t length) override;

  void setPeerStorage(PeerStorage* peerStorage) { peerStorage_ = peerStorage; }
  void setDownloadContext(DownloadContext* dctx) { dctx_ = dctx; }
  void setBtMessageFactory(BtMessageFactory* factory) { messageFactory_ = factory; }
  void setBtMessageDispatcher(BtMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  void setUTMetadataRequestTracker(UTMetadataRequestTracker* tracker) { tracker_ = tracker; }

 private:
  std::unique_ptr<ExtensionMessage> createUTMetadataMessage(const unsigned char* data,
                                                            size_t length);

  std::shared_ptr<Peer> peer_;
  ExtensionMessageRegistry* registry_;
  PeerStorage* peerStorage_ = nullptr;
  DownloadContext* dctx_ = nullptr;
  BtMessageFactory* messageFactory_ = nullptr;
  BtMessageDispatcher* dispatcher_ = nullptr;
  UTMetadataRequestTracker* tracker_ = nullptr;
};

}  // namespace quarn
