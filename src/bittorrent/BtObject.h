#pragma once

#include <memory>

namespace quarn {

class DownloadContext;
class PieceStorage;
class PeerStorage;
class BtAnnounce;
class BtRuntime;
class BtProgressInfoFile;

// The shared objects that together are one running torrent.
struct BtObject {
  BtObject() = default;
  BtObject(std::shared_ptr<DownloadContext> downloadContext,
           std::shared_ptr<PieceStorage> pieceStorage, std::shared_ptr<PeerStorage> peerStorage,
           std::shared_ptr<BtAnnounce> btAnnounce, std::shared_ptr<BtRuntime> btRuntime,
           std::shared_ptr<BtProgressInfoFile> btProgressInfoFile)
      : downloadContext(std::move(downloadContext)),
        pieceStorage(std::move(pieceStorage)),
        peerStorage(std::move(peerStorage)),
        btAnnounce(std::move(btAnnounce)),
        btRuntime(std::move(btRuntime)),
        btProgressInfoFile(std::move(btProgressInfoFile)) {}

  std::shared_ptr<DownloadContext> downloadContext;
  std::shared_ptr<PieceStorage> pieceStorage;
  std::shared_ptr<PeerStorage> peerStorage;
  std::shared_ptr<BtAnnounce> btAnnounce;
  std::shared_ptr<BtRuntime> btRuntime;
  std::shared_ptr<BtProgressInfoFile> btProgressInfoFile;
};

}  // namespace quarn
