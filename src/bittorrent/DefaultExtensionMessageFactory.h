#pragma once

#include <memory>

#include "bittorrent/ExtensionMessageFactory.h"

namespace quarn {

class DownloadContext;
class ExtensionMessageRegistry;
class Peer;
class PeerStorage;

// Decodes the extended payloads of one peer connection by this side's ids.
class DefaultExtensionMessageFactory : public ExtensionMessageFactory {
 public:
  DefaultExtensionMessageFactory(std::shared_ptr<Peer> peer, ExtensionMessageRegistry* registry)
      : peer_(std::move(peer)), registry_(registry) {}

  std::unique_ptr<ExtensionMessage> createMessage(const unsigned char* data,
                                                  size_t length) override;

  void setPeerStorage(PeerStorage* peerStorage) { peerStorage_ = peerStorage; }
  void setDownloadContext(DownloadContext* dctx) { dctx_ = dctx; }

 private:
  std::shared_ptr<Peer> peer_;
  ExtensionMessageRegistry* registry_;
  PeerStorage* peerStorage_ = nullptr;
  DownloadContext* dctx_ = nullptr;
};

}  // namespace quarn
