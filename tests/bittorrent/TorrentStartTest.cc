#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include "TempDir.h"
#include "bittorrent/ActivePeerConnectionCommand.h"
#include "bittorrent/BtDownloadStarter.h"
#include "bittorrent/BtObject.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/BtStopDownloadCommand.h"
#include "bittorrent/PeerChokeCommand.h"
#include "bittorrent/SeedCheckCommand.h"
#include "bittorrent/TorrentFixture.h"
#include "bittorrent/TrackerWatcherCommand.h"
#include "bittorrent/bt_downloads.h"
#include "config/prefs.h"
#include "engine/DownloadResult.h"
#include "engine/DownloadTestUtil.h"
#include "engine/EpollEventPoll.h"
#include "engine/FileAllocationEntry.h"
#include "engine/TorrentSession.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/Exception.h"
#include "storage/PieceStorage.h"
#include "storage/SequentialPicker.h"

namespace quarn {
namespace {

template <class T>
int countOf(const std::vector<std::unique_ptr<Command>>& commands) {
  int n = 0;
  for (const auto& c : commands) {
    n += dynamic_cast<T*>(c.get()) != nullptr;
  }
  return n;
}

// Starting torrent downloads on a real engine: what gets registered, which
// commands the torrent gets, and the refusals before anything starts.
class TorrentStartTest : public ::testing::Test {
 protected:
  TorrentStartTest() {
    engine_.setService<BtRegistry>(std::make_unique<BtRegistry>());
    option_->put(PREF_DIR, dir_.path().string());
    option_->put(PREF_FILE_ALLOCATION, "none");
    option_->put(PREF_ENABLE_DHT, "false");
    option_->put(PREF_BT_ENABLE_LPD, "false");
    option_->put(PREF_LISTEN_PORT, std::to_string(test::freePort()));
  }

  std::shared_ptr<RequestGroup> torrentGroup(const std::string& name, bool isPrivate = false) {
    auto info = test::singleInfo(name, 40000);
    if (isPrivate) {
      info->put("private", Integer::g(1));
    }
    auto root = test::withInfo(std::move(info));
    root->put("announce", "http://127.0.0.1:1/announce");
    std::vector<std::shared_ptr<RequestGroup>> groups;
    bittorrent::createRequestGroupForBitTorrent(groups, option_, {}, "", test::encode(root));
    return groups.front();
  }

  std::shared_ptr<RequestGroup> magnetGroup() {
    std::vector<std::shared_ptr<RequestGroup>> groups;
    bittorrent::makeDownloads(groups, option_,
                              "magnet:?xt=urn:btih:" + std::string(40, 'a') + "&dn=m", true);
    return groups.front();
  }

  std::vector<std::unique_ptr<Command>> start(const std::shared_ptr<RequestGroup>& group) {
    std::vector<std::unique_ptr<Command>> commands;
    BtDownloadStarter().createInitialCommands(commands, group.get(), &engine_);
    return commands;
  }

  BtRegistry& registry() { return *engine_.getService<BtRegistry>(); }

  test::TempDir dir_;
  std::shared_ptr<Option> option_ = test::makeGlobalOption();
  DownloadEngine engine_{std::make_unique<EpollEventPoll>()};
};

TEST_F(TorrentStartTest, CommandsOfATorrentDependOnMetadataAndOptions) {
  struct Case {
    const char* name;
    std::vector<std::pair<const Pref*, std::string>> options;
    bool magnet;
    int chokers, seedChecks, stops;
  } cases[] = {
      {"torrent with default seed ratio", {}, false, 1, 1, 0},
      {"no seeding criterion", {{PREF_SEED_RATIO, "0.0"}}, false, 1, 0, 0},
      {"seed time 0 is a criterion",
       {{PREF_SEED_RATIO, "0.0"}, {PREF_SEED_TIME, "0"}},
       false,
       1,
       1,
       0},
      {"stall timeout", {{PREF_BT_STOP_TIMEOUT, "30"}}, false, 1, 1, 1},
      {"magnet without metadata", {{PREF_BT_STOP_TIMEOUT, "30"}}, true, 0, 0, 1},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& [pref, value] : c.options) {
      option_->put(pref, value);
    }
    auto group = c.magnet ? magnetGroup() : torrentGroup("t" + std::to_string(n++));
    auto commands = start(group);
    EXPECT_EQ(1, countOf<TrackerWatcherCommand>(commands));
    EXPECT_EQ(1, countOf<ActivePeerConnectionCommand>(commands));
    EXPECT_EQ(c.chokers, countOf<PeerChokeCommand>(commands));
    EXPECT_EQ(c.seedChecks, countOf<SeedCheckCommand>(commands));
    EXPECT_EQ(c.stops, countOf<BtStopDownloadCommand>(commands));
    BtObject* object = registry().get(group->getGID());
    ASSERT_NE(nullptr, object);
    EXPECT_TRUE(object->btRuntime->isReady());
    // Commands go before their download, whose session they count against.
    commands.clear();
    group->releaseRuntimeResource(&engine_);
    EXPECT_EQ(nullptr, registry().get(group->getGID()));
    option_ = test::makeGlobalOption();
    option_->put(PREF_DIR, dir_.path().string());
    option_->put(PREF_FILE_ALLOCATION, "none");
    option_->put(PREF_ENABLE_DHT, "false");
    option_->put(PREF_BT_ENABLE_LPD, "false");
    option_->put(PREF_LISTEN_PORT, std::to_string(registry().getTcpPort()));
  }
}

TEST_F(TorrentStartTest, ListenersAreBoundOnceAndTheirPortIsAnnounced) {
  auto first = torrentGroup("a");
  auto commands = start(first);
  const uint16_t port = registry().getTcpPort();
  ASSERT_NE(0, port);
  const size_t listeners = engine_.countCommands();
  EXPECT_GE(listeners, 1u);
  // A second torrent reuses the run's port and binds nothing new.
  option_->put(PREF_LISTEN_PORT, std::to_string(test::freePort()));
  auto second = torrentGroup("b");
  auto more = start(second);
  EXPECT_EQ(port, registry().getTcpPort());
  EXPECT_EQ(listeners, engine_.countCommands());
}

TEST_F(TorrentStartTest, NoBindablePortFailsTheSetUp) {
  // Hold the only allowed port on every address of both families.
  int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
  int off = 0;
  ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof(off));
  sockaddr_in6 addr{};
  addr.sin6_family = AF_INET6;
  addr.sin6_addr = in6addr_any;
  ASSERT_EQ(0, ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
  ASSERT_EQ(0, ::listen(fd, 1));
  socklen_t len = sizeof(addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  option_->put(PREF_LISTEN_PORT, std::to_string(ntohs(addr.sin6_port)));
  auto group = torrentGroup("busy");
  try {
    start(group);
    ADD_FAILURE() << "set-up succeeded without a port";
  } catch (const Exception& e) {
    EXPECT_STREQ("Errors occurred while binding port.\n", e.what());
  }
  EXPECT_EQ(0, registry().getTcpPort());
  ::close(fd);
}

TEST_F(TorrentStartTest, RefusalsComeBeforeAnyCommand) {
  auto running = torrentGroup("dup");
  auto commands = start(running);
  // The same info hash again, while the first is registered.
  auto again = torrentGroup("dup");
  try {
    start(again);
    ADD_FAILURE() << "second download of one info hash started";
  } catch (const DownloadFailureException& e) {
    EXPECT_EQ(error_code::DUPLICATE_INFO_HASH, e.getErrorCode());
  }
  // Existing data without a control file is never overwritten silently.
  std::ofstream(dir_.file("exists"), std::ios::binary) << std::string(100, 'x');
  auto clobber = torrentGroup("exists");
  try {
    start(clobber);
    ADD_FAILURE() << "existing file would have been truncated";
  } catch (const DownloadFailureException& e) {
    EXPECT_EQ(error_code::FILE_ALREADY_EXISTS, e.getErrorCode());
  }
  std::ifstream in(dir_.file("exists"), std::ios::binary | std::ios::ate);
  EXPECT_EQ(100, in.tellg());
}

TEST_F(TorrentStartTest, UnverifiedSeedingTakesCompleteFilesAsTheyAre) {
  // With allocation on too: complete files are opened read-only and have
  // nothing to allocate, so seeding must not go through the allocator.
  for (const char* allocation : {"none", "prealloc"}) {
    SCOPED_TRACE(allocation);
    const std::string name = std::string("whole-") + allocation;
    std::ofstream(dir_.file(name), std::ios::binary) << std::string(40000, 'x');
    option_->put(PREF_BT_SEED_UNVERIFIED, "true");
    option_->put(PREF_FILE_ALLOCATION, allocation);
    auto group = torrentGroup(name);
    group->setFileAllocationEnabled(std::string(allocation) != "none");
    auto commands = start(group);
    EXPECT_TRUE(group->downloadFinished());
    EXPECT_TRUE(group->isSeeder());
    // It goes on to seed at once: the swarm commands start without a check.
    EXPECT_EQ(1, countOf<TrackerWatcherCommand>(commands));
    EXPECT_EQ(1, countOf<SeedCheckCommand>(commands));
    EXPECT_EQ(0u, engine_.getFileAllocationMan()->countEntryInQueue());
  }
}

TEST_F(TorrentStartTest, DownloadSeesItsTorrentThroughTheSession) {
  auto group = torrentGroup("s");
  auto commands = start(group);
  auto* session = group->getTorrentSession();
  ASSERT_NE(nullptr, session);
  BtObject* object = registry().get(group->getGID());
  object->btRuntime->increaseConnections();
  object->btRuntime->setUploadLengthAtStartup(500);
  EXPECT_EQ(1, group->getNumConnection());
  EXPECT_EQ(500, group->calculateStat().allTimeUploadLength);
  group->setHaltRequested(true, RequestGroup::SHUTDOWN_SIGNAL);
  EXPECT_TRUE(object->btRuntime->isHalt());
  commands.clear();
  group->releaseRuntimeResource(&engine_);
  EXPECT_EQ(nullptr, group->getTorrentSession());
  // The result still names the torrent and keeps the earlier upload.
  EXPECT_EQ(20u, group->createDownloadResult()->infoHash.size());
  EXPECT_EQ(500, group->calculateStat().allTimeUploadLength);
}

}  // namespace
}  // namespace quarn
