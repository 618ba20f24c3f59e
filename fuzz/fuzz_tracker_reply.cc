// Feeds arbitrary bytes to the announcer as an HTTP tracker's reply. Whatever
// it accepts must leave usable intervals and only peers with an address and
// a port.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bittorrent/BtRuntime.h"
#include "bittorrent/DefaultBtAnnounce.h"
#include "bittorrent/Peer.h"
#include "bittorrent/DefaultPeerStorage.h"
#include "bittorrent/TorrentAttribute.h"
#include "config/Option.h"
#include "storage/DownloadContext.h"
#include "foundation/RecoverableException.h"
#include "storage/DefaultPieceStorage.h"

namespace {

// Only checks what a reply offers; the rest is the real storage's.
struct CheckingPeerStorage : quarn::DefaultPeerStorage {
  bool addPeer(const std::shared_ptr<quarn::Peer>& peer) override {
    check(*peer);
    return true;
  }
  void addPeer(const std::vector<std::shared_ptr<quarn::Peer>>& peers) override {
    for (const auto& peer : peers) {
      check(*peer);
    }
  }
  static void check(const quarn::Peer& peer) {
    if (peer.getIPAddress().empty() || peer.getPort() == 0) {
      abort();
    }
  }
};

struct Torrent {
  Torrent()
      : option(std::make_shared<quarn::Option>()),
        ctx(std::make_shared<quarn::DownloadContext>(16384, 65536, "/dev/null")) {
    auto attrs = std::make_shared<quarn::TorrentAttribute>();
    attrs->infoHash = std::string(20, 'i');
    attrs->announceList = {{"http://127.0.0.1/announce"}};
    ctx->setAttribute(quarn::CTX_ATTR_BT, attrs);
  }
  std::shared_ptr<quarn::Option> option;
  std::shared_ptr<quarn::DownloadContext> ctx;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Torrent torrent;
  quarn::DefaultBtAnnounce announce(torrent.ctx.get(), torrent.option.get());
  announce.setBtRuntime(std::make_shared<quarn::BtRuntime>());
  announce.setPieceStorage(
      std::make_shared<quarn::DefaultPieceStorage>(torrent.ctx, torrent.option.get()));
  announce.setPeerStorage(std::make_shared<CheckingPeerStorage>());
  try {
    announce.processAnnounceResponse(data, size);
  } catch (const quarn::RecoverableException&) {
    return 0;
  }
  if (announce.getInterval().count() <= 0 || announce.getMinInterval().count() <= 0 ||
      announce.getMinInterval() > announce.getInterval() || announce.getComplete() < 0 ||
      announce.getIncomplete() < 0) {
    abort();
  }
  return 0;
}
