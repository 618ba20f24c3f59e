#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "TempDir.h"
#include "bittorrent/BtDownloadStarter.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/HTTPAnnRequest.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/TorrentDHT.h"
#include "bittorrent/TorrentFixture.h"
#include "bittorrent/TrackerWatcherCommand.h"
#include "bittorrent/UDPAnnRequest.h"
#include "bittorrent/UDPTrackerClient.h"
#include "bittorrent/bt_downloads.h"
#include "config/prefs.h"
#include "engine/DownloadTestUtil.h"
#include "engine/EpollEventPoll.h"

namespace quarn {
namespace {

// Records what torrents ask of the DHT.
struct RecordingDHT : TorrentDHT {
  void setup(const Option&) override { log.push_back("setup"); }
  void addEntryPoints(const TorrentAttribute& torrent) override {
    log.push_back("entry points " + std::to_string(torrent.nodes.size()));
  }
  void createGetPeersCommands(std::vector<std::unique_ptr<Command>>&, RequestGroup*,
                              const std::shared_ptr<BtRuntime>&,
                              const std::shared_ptr<PeerStorage>&) override {
    log.push_back("get peers");
  }
  DHTPortReceiver* getPortReceiver(int) override { return nullptr; }
  std::vector<std::string> log;
};

// Torrent starts on a real engine whose DHT only records.
class TorrentDhtHooks : public ::testing::Test {
 protected:
  TorrentDhtHooks() {
    engine_.setOption(option_.get());
    engine_.setService<BtRegistry>(std::make_unique<BtRegistry>());
    auto dht = std::make_unique<RecordingDHT>();
    dht_ = dht.get();
    engine_.setService<TorrentDHT>(std::move(dht));
    option_->put(PREF_DIR, dir_.path().string());
    option_->put(PREF_FILE_ALLOCATION, "none");
    option_->put(PREF_BT_ENABLE_LPD, "false");
    option_->put(PREF_LISTEN_PORT, std::to_string(test::freePort()));
  }

  std::shared_ptr<RequestGroup> torrentGroup(const std::string& name, const std::string& announce,
                                             bool isPrivate = false) {
    auto info = test::singleInfo(name, 40000);
    if (isPrivate) {
      info->put("private", Integer::g(1));
    }
    auto root = test::withInfo(std::move(info));
    root->put("announce", announce);
    auto node = List::g();
    node->append(String::g("127.0.0.1"));
    node->append(Integer::g(6881));
    auto nodes = List::g();
    nodes->append(std::move(node));
    root->put("nodes", std::move(nodes));
    std::vector<std::shared_ptr<RequestGroup>> groups;
    bittorrent::createRequestGroupForBitTorrent(groups, option_, {}, "", test::encode(root));
    groups_.push_back(groups.front());
    return groups.front();
  }

  std::vector<std::unique_ptr<Command>> start(const std::shared_ptr<RequestGroup>& group) {
    std::vector<std::unique_ptr<Command>> commands;
    BtDownloadStarter().createInitialCommands(commands, group.get(), &engine_);
    return commands;
  }

  TrackerWatcherCommand* watcherOf(std::vector<std::unique_ptr<Command>>& commands) {
    for (auto& c : commands) {
      if (auto* w = dynamic_cast<TrackerWatcherCommand*>(c.get())) {
        return w;
      }
    }
    return nullptr;
  }

  test::TempDir dir_;
  std::shared_ptr<Option> option_ = test::makeGlobalOption();
  // The downloads outlive the engine, whose commands refer to them.
  std::vector<std::shared_ptr<RequestGroup>> groups_;
  DownloadEngine engine_{std::make_unique<EpollEventPoll>()};
  RecordingDHT* dht_;
};

TEST_F(TorrentDhtHooks, DhtIsSetUpAndAskedForPeersOfPublicTorrentsOnly) {
  struct Case {
    const char* name;
    const char* enableDht;
    const char* enableDht6;
    bool isPrivate;
    std::vector<std::string> log;
  } cases[] = {
      {"public", "true", "false", false, {"setup", "entry points 1", "get peers"}},
      {"IPv6 only", "false", "true", false, {"setup", "entry points 1", "get peers"}},
      // The DHT itself skips the nodes of a private torrent.
      {"private", "true", "false", true, {"setup", "entry points 1"}},
      {"DHT off", "false", "false", false, {"get peers"}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dht_->log.clear();
    option_->put(PREF_ENABLE_DHT, c.enableDht);
    option_->put(PREF_ENABLE_DHT6, c.enableDht6);
    auto group = torrentGroup("t" + std::to_string(n++), "http://127.0.0.1:1/a", c.isPrivate);
    auto commands = start(group);
    EXPECT_EQ(c.log, dht_->log);
    commands.clear();
    group->releaseRuntimeResource(&engine_);
  }
}

TEST_F(TorrentDhtHooks, UdpTrackersNeedTheClient) {
  option_->put(PREF_ENABLE_DHT, "false");
  auto group = torrentGroup("plain", "udp://127.0.0.1:6969/announce");
  auto commands = start(group);
  // Without the client a "udp" URL takes the HTTP path (and fails there).
  auto* watcher = watcherOf(commands);
  ASSERT_NE(nullptr, watcher);
  // The watcher queues itself in the engine from here on.
  for (auto& c : commands) {
    if (c.get() == watcher) {
      c.release();
    }
  }
  EXPECT_FALSE(watcher->execute());
  EXPECT_TRUE(dynamic_cast<HTTPAnnRequest*>(watcher->getTrackerRequest()));
}

TEST_F(TorrentDhtHooks, UdpTrackerAnnounceGoesToTheClientAndCountsTheWatcher) {
  auto client = std::make_shared<UDPTrackerClient>();
  engine_.getService<BtRegistry>()->setUDPTrackerClient(client);
  auto group = torrentGroup("udp", "udp://127.0.0.1:6969/announce");
  auto commands = start(group);
  EXPECT_EQ(1, client->getNumWatchers());
  auto* watcher = watcherOf(commands);
  ASSERT_NE(nullptr, watcher);
  // The watcher queues itself in the engine from here on.
  for (auto& c : commands) {
    if (c.get() == watcher) {
      c.release();
    }
  }
  EXPECT_FALSE(watcher->execute());
  auto* request = dynamic_cast<UDPAnnRequest*>(watcher->getTrackerRequest());
  ASSERT_TRUE(request);
  EXPECT_FALSE(request->stopped());
}

}  // namespace
}  // namespace quarn
