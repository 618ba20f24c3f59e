#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"

#include "bittorrent/BtObject.h"
#include "bittorrent/BtRegistry.h"
#include "bittorrent/BtRuntime.h"
#include "bittorrent/DefaultPeerStorage.h"
#include "bittorrent/Peer.h"
#include "bittorrent/TorrentAttribute.h"
#include "bittorrent/TorrentFixture.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadResult.h"
#include "engine/DownloadTestUtil.h"
#include "engine/FakeEventPoll.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/Dict.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/MessageDigest.h"
#include "foundation/String.h"
#include "foundation/base64.h"
#include "foundation/json.h"
#include "foundation/util_string.h"
#include "rpc/RpcMethod.h"
#include "rpc/RpcMethodFactory.h"
#include "rpc/RpcResponse.h"
#include "rpc/status_builders.h"
#include "rpc/torrent_status.h"

namespace quarn::rpc {
namespace {

// A torrent of one 100-byte file in one piece, announced to two tiers.
std::string sampleTorrent(const std::string& name = "movie.bin") {
  auto root = test::withInfo(test::singleInfo(name, 100));
  auto tier1 = List::g();
  tier1->append(test::strings({"http://127.0.0.1:1/announce"}));
  tier1->append(test::strings({"http://127.0.0.1:2/announce", "http://127.0.0.1:3/announce"}));
  root->put("announce-list", std::move(tier1));
  root->put("comment", "hello");
  root->put("creation date", Integer::g(1234567890));
  return test::encode(root);
}

std::string sha1Hex(const std::string& data) {
  auto sha1 = MessageDigest::sha1();
  sha1->update(data.data(), data.size());
  return util::toHex(sha1->digest());
}

class TorrentRpcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    option_ = test::makeGlobalOption();
    option_->put(PREF_ENABLE_RPC, "true");
    option_->put(PREF_DIR, dir_.path().string());
    engine_.setOption(option_.get());
    engine_.setRequestGroupMan(std::make_unique<RequestGroupMan>(
        std::vector<std::shared_ptr<RequestGroup>>{}, 5, option_.get()));
    engine_.setService<BtRegistry>(std::make_unique<BtRegistry>());
  }

  RpcResponse run(const std::string& method, std::unique_ptr<List> params, bool json = true) {
    return getMethod(method).execute(RpcRequest(method, std::move(params), Integer::g(1), json),
                                     &engine_);
  }

  // Adds the torrent over JSON-RPC (Base64 text) or XML-RPC (raw bytes).
  RpcResponse addTorrent(const std::string& data, bool json, std::unique_ptr<Dict> opts = nullptr) {
    auto params = List::g();
    params->append(json ? base64::encode(data.begin(), data.end()) : data);
    params->append(List::g());
    params->append(opts ? std::move(opts) : Dict::g());
    return run("quarn.addTorrent", std::move(params), json);
  }

  std::string addedGid(const std::string& data = sampleTorrent()) {
    RpcResponse r = addTorrent(data, true);
    EXPECT_EQ(0, r.code) << text(r);
    return r.code == 0 ? static_cast<String*>(r.param.get())->s() : "";
  }

  std::unique_ptr<List> gidParam(const std::string& gid) {
    auto l = List::g();
    l->append(gid);
    return l;
  }

  uint64_t numericGid(const std::string& gid) {
    GroupId::gid_t n = 0;
    GroupId::toNumericId(n, gid);
    return n;
  }

  static std::string text(const RpcResponse& r) { return json::encode(r.param.get()); }

  test::TempDir dir_;
  std::shared_ptr<Option> option_;
  DownloadEngine engine_{std::make_unique<FakeEventPoll>()};
};

TEST_F(TorrentRpcTest, AddTorrentReadsBothEncodingsAndRefusesBadData) {
  const std::string torrent = sampleTorrent();
  struct Case {
    const char* what;
    std::string data;
    bool json;
    const char* error;  // null: a download is made; else part of the message
  } cases[] = {
      {"JSON-RPC carries Base64 text", torrent, true, nullptr},
      {"XML-RPC carries the bytes", torrent, false, nullptr},
      {"not bencoded", "this is no torrent", true, "Bencode decoding failed"},
      // Nothing uploaded must not fall back to reading a local file.
      {"empty", "", true, "Bencode decoding failed"},
      // The reader's own errors reach the client as they are.
      {"no info dictionary", "d7:comment2:hie", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t before = engine_.getRequestGroupMan()->getReservedGroups().size();
    RpcResponse r = addTorrent(c.data, c.json);
    if (c.error) {
      EXPECT_EQ(1, r.code);
      EXPECT_NE(std::string::npos, text(r).find(c.error)) << text(r);
      EXPECT_EQ(before, engine_.getRequestGroupMan()->getReservedGroups().size());
    } else {
      ASSERT_EQ(0, r.code) << text(r);
      auto group = engine_.getRequestGroupMan()->findGroup(
          numericGid(static_cast<String*>(r.param.get())->s()));
      ASSERT_TRUE(group);
      EXPECT_EQ(before + 1, engine_.getRequestGroupMan()->getReservedGroups().size());
    }
  }
}

TEST_F(TorrentRpcTest, UploadedTorrentIsKeptUnderItsHashWhenAsked) {
  const std::string torrent = sampleTorrent();
  auto opts = [](const char* save) {
    auto d = Dict::g();
    d->put("rpc-save-upload-metadata", save);
    return d;
  };
  // sha1 of the torrent bytes names the file.
  const std::string saved = dir_.file(sha1Hex(torrent) + ".torrent");
  RpcResponse off = addTorrent(torrent, true, opts("false"));
  ASSERT_EQ(0, off.code) << text(off);
  EXPECT_FALSE(std::filesystem::exists(saved));
  for (int round = 0; round < 2; ++round) {  // the second upload overwrites the first
    RpcResponse on = addTorrent(torrent, false, opts("true"));
    ASSERT_EQ(0, on.code) << text(on);
    EXPECT_TRUE(std::filesystem::exists(saved));
    auto group = engine_.getRequestGroupMan()->findGroup(
        numericGid(static_cast<String*>(on.param.get())->s()));
    EXPECT_EQ(saved, group->getOption()->get(PREF_TORRENT_FILE));
  }
}

TEST_F(TorrentRpcTest, StatusCarriesTheTorrentKeys) {
  const std::string gid = addedGid();
  auto params = gidParam(gid);
  RpcResponse r = run("quarn.tellStatus", std::move(params));
  ASSERT_EQ(0, r.code) << text(r);
  const auto* status = static_cast<Dict*>(r.param.get());
  EXPECT_EQ(40u, static_cast<const String*>(status->get("infoHash"))->s().size());
  EXPECT_EQ("\"0\"", json::encode(status->get("numSeeders")));
  EXPECT_EQ("\"false\"", json::encode(status->get("seeder")));
  EXPECT_EQ("\"0\"", json::encode(status->get("uploadLength")));
  EXPECT_EQ(R"({"announceList":[["http:\/\/127.0.0.1:1\/announce"],)"
            R"(["http:\/\/127.0.0.1:2\/announce","http:\/\/127.0.0.1:3\/announce"]],)"
            "\"comment\":\"hello\",\"creationDate\":1234567890,"
            "\"info\":{\"name\":\"movie.bin\"},\"mode\":\"single\"}",
            json::encode(status->get("bittorrent")));
  // The key filter applies to the torrent keys too.
  auto filtered = gidParam(gid);
  filtered->append(test::strings({"gid", "infoHash"}));
  RpcResponse f = run("quarn.tellStatus", std::move(filtered));
  ASSERT_EQ(0, f.code);
  EXPECT_EQ(2u, static_cast<Dict*>(f.param.get())->size());
}

TEST_F(TorrentRpcTest, TorrentDictionaryLeavesOutWhatIsUnknown) {
  struct Case {
    const char* what;
    std::string comment;
    int64_t creationDate;
    BtFileMode mode;
    std::string metadata;
    const char* expected;
  } cases[] = {
      {"everything", "c", 7, BT_FILE_MODE_MULTI, "d4:name1:ne",
       "{\"announceList\":[],\"comment\":\"c\",\"creationDate\":7,\"info\":{\"name\":\"n\"},"
       "\"mode\":\"multi\"}"},
      {"no comment nor date", "", 0, BT_FILE_MODE_SINGLE, "d4:name1:ne",
       "{\"announceList\":[],\"info\":{\"name\":\"n\"},\"mode\":\"single\"}"},
      {"magnet before its metadata", "", 0, BT_FILE_MODE_NONE, "", "{\"announceList\":[]}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TorrentAttribute attrs;
    attrs.name = "n";
    attrs.comment = c.comment;
    attrs.creationDate = c.creationDate;
    attrs.mode = c.mode;
    attrs.metadata = c.metadata;
    EXPECT_EQ(c.expected, json::encode(gatherBitTorrentMetadata(attrs).get()));
  }
}

TEST_F(TorrentRpcTest, StoppedTorrentKeepsItsDictionary) {
  const std::string gid = addedGid();
  auto group = engine_.getRequestGroupMan()->findGroup(numericGid(gid));
  auto result = group->createDownloadResult();
  Dict torrent;
  gatherStoppedDownload(&torrent, result, {});
  ASSERT_TRUE(torrent.containsKey("bittorrent"));
  EXPECT_EQ(R"({"name":"movie.bin"})",
            json::encode(static_cast<const Dict*>(torrent.get("bittorrent"))->get("info")));
  // A plain download has no torrent keys.
  result->attrs.clear();
  result->infoHash.clear();
  Dict plain;
  gatherStoppedDownload(&plain, result, {});
  EXPECT_FALSE(plain.containsKey("bittorrent"));
  EXPECT_FALSE(plain.containsKey("infoHash"));
}

class RunningTorrentTest : public TorrentRpcTest {
 protected:
  // Registers the running parts of the torrent gid: a peer storage and a runtime.
  void start(const std::string& gid) {
    auto group = engine_.getRequestGroupMan()->findGroup(numericGid(gid));
    storage_ = std::make_shared<DefaultPeerStorage>();
    runtime_ = std::make_shared<BtRuntime>();
    storage_->setBtRuntime(runtime_);
    engine_.getService<BtRegistry>()->put(
        numericGid(gid), std::make_unique<BtObject>(group->getDownloadContext(), nullptr, storage_,
                                                    nullptr, runtime_, nullptr));
  }

  // A peer in use: with a session when live, holding every piece when a seeder.
  std::shared_ptr<Peer> usePeer(const char* ip, uint16_t port, bool incoming, bool live,
                                bool seeder, int64_t cuid) {
    auto peer = std::make_shared<Peer>(ip, port, incoming);
    std::shared_ptr<Peer> used;
    if (incoming) {
      used = storage_->addAndCheckoutPeer(peer, cuid);
    } else {
      storage_->addPeer(peer);
      used = storage_->checkoutPeer(cuid);
    }
    if (live) {
      used->allocateSessionResource(16384, 100);
      unsigned char id[20];
      std::memset(id, 'a', sizeof(id));
      id[19] = static_cast<unsigned char>(0xff);
      used->setPeerId(id);
      if (seeder) {
        used->setAllBitfield();
      }
    }
    return used;
  }

  std::shared_ptr<DefaultPeerStorage> storage_;
  std::shared_ptr<BtRuntime> runtime_;
};

TEST_F(RunningTorrentTest, PeersAndSeedersAreTheLiveConnectedOnes) {
  const std::string gid = addedGid();
  // Before the torrent runs it has no peers.
  RpcResponse none = run("quarn.getPeers", gidParam(gid));
  ASSERT_EQ(0, none.code) << text(none);
  EXPECT_EQ("[]", text(none));
  start(gid);
  usePeer("127.0.0.2", 6881, false, true, true, 1);
  usePeer("127.0.0.3", 50000, true, true, false, 2);
  usePeer("127.0.0.4", 6883, false, false, false, 3);  // still connecting
  RpcResponse r = run("quarn.getPeers", gidParam(gid));
  ASSERT_EQ(0, r.code) << text(r);
  const auto* peers = static_cast<List*>(r.param.get());
  ASSERT_EQ(2u, peers->size());
  std::vector<std::string> got;
  for (const auto& p : *peers) {
    got.push_back(json::encode(p.get()));
  }
  // The storage orders peers by pointer; sorted text puts the incoming peer ("bitfield":"00")
  // first.
  std::sort(got.begin(), got.end());
  EXPECT_EQ(
      "{\"amChoking\":\"true\",\"bitfield\":\"80\",\"downloadSpeed\":\"0\",\"ip\":\"127.0.0.2\","
      "\"peerChoking\":\"true\",\"peerId\":\"aaaaaaaaaaaaaaaaaaa%FF\",\"port\":\"6881\","
      "\"seeder\":\"true\",\"uploadSpeed\":\"0\"}",
      got[1]);
  // An incoming peer's source port is not one it listens on.
  EXPECT_NE(std::string::npos, got[0].find("\"port\":\"0\"")) << got[0];
  EXPECT_NE(std::string::npos, got[0].find("\"bitfield\":\"00\"")) << got[0];
  EXPECT_NE(std::string::npos, got[0].find("\"seeder\":\"false\"")) << got[0];
  RpcResponse status = run("quarn.tellStatus", gidParam(gid));
  EXPECT_EQ("\"1\"", json::encode(static_cast<Dict*>(status.param.get())->get("numSeeders")));
}

TEST_F(RunningTorrentTest, PeerLimitChangesOnTheRunningTorrent) {
  const std::string gid = addedGid();
  auto change = [&](const char* value) {
    auto l = gidParam(gid);
    auto opts = Dict::g();
    opts->put("bt-max-peers", value);
    l->append(std::move(opts));
    return run("quarn.changeOption", std::move(l));
  };
  // Not running yet: the option is kept for when it starts.
  ASSERT_EQ(0, change("7").code);
  auto group = engine_.getRequestGroupMan()->findGroup(numericGid(gid));
  EXPECT_EQ(7, group->getOption()->getAsInt(PREF_BT_MAX_PEERS));
  start(gid);
  ASSERT_EQ(0, change("3").code);
  EXPECT_EQ(3, runtime_->getMaxPeers());
  // Another option leaves the limit alone.
  auto l = gidParam(gid);
  auto opts = Dict::g();
  opts->put("max-upload-limit", "1000");
  l->append(std::move(opts));
  ASSERT_EQ(0, run("quarn.changeOption", std::move(l)).code);
  EXPECT_EQ(3, runtime_->getMaxPeers());
}

}  // namespace
}  // namespace quarn::rpc
