#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadTestUtil.h"
#include "engine/FakeEventPoll.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroupMan.h"
#include "foundation/Dict.h"
#include "foundation/GenericParser.h"
#include "foundation/Integer.h"
#include "foundation/JsonParser.h"
#include "foundation/List.h"
#include "foundation/Null.h"
#include "foundation/String.h"
#include "foundation/ValueBaseStructParserStateMachine.h"
#include "foundation/base64.h"
#include "foundation/json.h"
#include "rpc/RpcMethod.h"
#include "rpc/RpcMethodFactory.h"
#include "rpc/download_control_methods.h"
#include "rpc/json_rpc.h"
#include "rpc/rpc_helper.h"
#include "rpc/status_builders.h"

namespace quarn::rpc {
namespace {

class RpcMethodTest : public ::testing::Test {
 protected:
  void SetUp() override {
    option_ = test::makeGlobalOption();
    option_->put(PREF_ENABLE_RPC, "true");
    engine_.setOption(option_.get());
    engine_.setRequestGroupMan(std::make_unique<RequestGroupMan>(
        std::vector<std::shared_ptr<RequestGroup>>{}, 5, option_.get()));
  }

  RequestGroupMan* rgman() { return engine_.getRequestGroupMan(); }

  // Adds a waiting download and returns its gid text.
  std::string addWaiting() {
    auto group = test::makeGroup(option_, "", {"http://127.0.0.1/f"});
    rgman()->addReservedGroup(group);
    return group->getGroupId()->toHex();
  }

  RpcResponse run(const std::string& method, std::unique_ptr<List> params) {
    return getMethod(method).execute(RpcRequest(method, std::move(params), Integer::g(1), true),
                                     &engine_);
  }

  static std::string text(const RpcResponse& r) { return json::encode(r.param.get()); }

  std::vector<std::string> waitingGids() {
    std::vector<std::string> gids;
    for (const auto& [gid, group] : rgman()->getReservedGroups()) {
      gids.push_back(GroupId::toHex(gid));
    }
    return gids;
  }

  std::shared_ptr<Option> option_;
  DownloadEngine engine_{std::make_unique<FakeEventPoll>()};
};

std::unique_ptr<ValueBase> parseJson(const std::string& text) {
  GenericParser<json::JsonParser, ValueBaseStructParserStateMachine> parser;
  ssize_t error;
  return parser.parseFinal(text.data(), text.size(), error);
}

std::unique_ptr<List> params(std::initializer_list<const char*> strings) {
  auto l = List::g();
  for (const char* s : strings) {
    l->append(s);
  }
  return l;
}

TEST_F(RpcMethodTest, TokenIsTakenOffAndChecked) {
  option_->put(PREF_RPC_SECRET, "right");
  std::string gid = addWaiting();
  RpcResponse ok = run("quarn.getUris", params({"token:right", gid.c_str()}));
  EXPECT_EQ(0, ok.code) << text(ok);
  EXPECT_TRUE(ok.authorized());
  RpcResponse wrong = run("quarn.getUris", params({"token:wrong", gid.c_str()}));
  EXPECT_EQ(1, wrong.code);
  EXPECT_FALSE(wrong.authorized());
  EXPECT_EQ("{\"code\":1,\"message\":\"Unauthorized\"}", text(wrong));
  // Unknown names check the token first too.
  EXPECT_EQ("{\"code\":1,\"message\":\"Unauthorized\"}", text(run("no.such", params({}))));
  EXPECT_EQ("{\"code\":1,\"message\":\"No such method: no.such\"}",
            text(run("no.such", params({"token:right"}))));
  // Listing needs no token.
  RpcResponse list = run("system.listMethods", params({}));
  EXPECT_EQ(0, list.code);
  EXPECT_EQ(36u, static_cast<List*>(list.param.get())->size());
  EXPECT_EQ(&getMethod("quarn.getUris"), &getMethod("quarn.getUris"));
}

TEST_F(RpcMethodTest, LeadingTokenIsRemovedWithoutSecret) {
  std::string gid = addWaiting();
  EXPECT_EQ(0, run("quarn.getUris", params({"token:anything", gid.c_str()})).code);
}

TEST_F(RpcMethodTest, ParameterAndGidErrors) {
  addWaiting();
  struct Case {
    const char* method;
    std::unique_ptr<List> params;
    const char* message;
  };
  auto intFirst = List::g();
  intFirst->append(Integer::g(1));
  Case cases[] = {
      {"quarn.addUri", params({}), "The parameter at 0 is required but missing."},
      {"quarn.addUri", std::move(intFirst), "The parameter at 0 has wrong type."},
      {"quarn.addUri",
       [] {
         auto l = List::g();
         l->append(List::g());
         return l;
       }(),
       "URI is not provided."},
      {"quarn.tellStatus", params({""}), "Invalid GID "},
      {"quarn.tellStatus", params({"0123456789abcdef0"}), "Invalid GID 0123456789abcdef0"},
      {"quarn.tellStatus", params({"xyz"}), "Invalid GID xyz"},
      {"quarn.changePosition",
       [this] {
         auto l = params({addWaiting().c_str()});
         l->append(Integer::g(0));
         l->append("pos_set");
         return l;
       }(),
       "Illegal argument."},
  };
  for (auto& c : cases) {
    RpcResponse r = run(c.method, std::move(c.params));
    EXPECT_EQ(1, r.code) << c.method;
    EXPECT_EQ(std::string("{\"code\":1,\"message\":\"") + c.message + "\"}", text(r)) << c.method;
  }
}

// Positions are 64-bit on the wire: a huge one must land at the queue's end,
// not wrap to a negative 32-bit index.
TEST_F(RpcMethodTest, AddUriPositionsAreClampedIn64Bits) {
  std::string a = addWaiting();
  std::string b = addWaiting();
  auto add = [this](int64_t pos) {
    auto l = List::g();
    l->append(params({"http://127.0.0.1/new"}));
    l->append(Dict::g());
    l->append(Integer::g(pos));
    return run("quarn.addUri", std::move(l));
  };
  RpcResponse big = add(int64_t{1} << 32 | 0xffffffff);
  ASSERT_EQ(0, big.code) << text(big);
  RpcResponse front = add(0);
  ASSERT_EQ(0, front.code);
  auto gidOf = [](const RpcResponse& r) { return static_cast<String*>(r.param.get())->s(); };
  std::vector<std::string> expected = {gidOf(front), a, b, gidOf(big)};
  EXPECT_EQ(expected, waitingGids());
  EXPECT_EQ("{\"code\":1,\"message\":\"Position must be greater than or equal to 0.\"}",
            text(add(-1)));
}

TEST_F(RpcMethodTest, ChangePositionSurvivesExtremeOffsets) {
  std::vector<std::string> gids = {addWaiting(), addWaiting(), addWaiting()};
  auto move = [this](const std::string& gid, int64_t pos, const char* how) {
    auto l = params({gid.c_str()});
    l->append(Integer::g(pos));
    l->append(how);
    return run("quarn.changePosition", std::move(l));
  };
  EXPECT_EQ("2", text(move(gids[0], std::numeric_limits<int64_t>::max(), "POS_CUR")));
  EXPECT_EQ("0", text(move(gids[0], std::numeric_limits<int64_t>::min(), "POS_CUR")));
  EXPECT_EQ("2", text(move(gids[0], std::numeric_limits<int64_t>::max(), "POS_END")));
  EXPECT_EQ("0", text(move(gids[0], std::numeric_limits<int64_t>::min(), "POS_SET")));
  EXPECT_EQ("1", text(move(gids[0], -1, "POS_END")));
}

TEST_F(RpcMethodTest, PaginationRanges) {
  struct Case {
    int64_t o, n;
    size_t s;
    std::pair<size_t, size_t> range;
  };
  const int64_t maxv = std::numeric_limits<int64_t>::max();
  const Case cases[] = {
      {0, 0, 10, {0, 0}},
      {10, 3, 10, {0, 0}},
      {8, 5, 10, {8, 10}},
      {-1, 3, 10, {7, 10}},
      {-1, 20, 10, {0, 10}},
      {-11, 3, 10, {0, 0}},
      {2, maxv, 10, {2, 10}},
      {-1, maxv, 10, {0, 10}},
      {std::numeric_limits<int64_t>::min(), 1, 10, {0, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.range, getPaginationRange(c.o, c.n, c.s)) << c.o << " " << c.n;
  }
}

TEST_F(RpcMethodTest, TellWaitingPagesBackwardsFromTheEnd) {
  std::vector<std::string> gids;
  for (int i = 0; i < 4; ++i) {
    gids.push_back(addWaiting());
  }
  auto l = List::g();
  l->append(Integer::g(-1));
  l->append(Integer::g(2));
  l->append(params({"gid"}));
  RpcResponse r = run("quarn.tellWaiting", std::move(l));
  EXPECT_EQ("[{\"gid\":\"" + gids[3] + "\"},{\"gid\":\"" + gids[2] + "\"}]", text(r));
  auto neg = List::g();
  neg->append(Integer::g(0));
  neg->append(Integer::g(-1));
  EXPECT_EQ(
      "{\"code\":1,\"message\":\"The integer parameter at 1 has invalid value: the value must be "
      "greater than or equal to 0.\"}",
      text(run("quarn.tellStopped", std::move(neg))));
}

TEST_F(RpcMethodTest, TellStatusKeyFilter) {
  std::string gid = addWaiting();
  auto l = params({gid.c_str()});
  l->append(params({"gid", "status"}));
  EXPECT_EQ("{\"gid\":\"" + gid + "\",\"status\":\"waiting\"}",
            text(run("quarn.tellStatus", std::move(l))));
}

// One request must not try many tokens for the price of one delay.
TEST_F(RpcMethodTest, BatchRefusesTheRestAfterAFailedTokenCheck) {
  option_->put(PREF_RPC_SECRET, "right");
  auto batch = List::g();
  auto call = [](const char* token, int id) {
    auto d = Dict::g();
    d->put("id", Integer::g(id));
    d->put("method", "quarn.getGlobalStat");
    d->put("params", params({token}));
    return d;
  };
  batch->append(call("token:right", 1));
  batch->append(call("token:wrong", 2));
  batch->append(call("token:right", 3));
  batch->append(Integer::g(4));
  JsonRpcAnswer answer = processJsonRpcValue(batch.get(), &engine_);
  ASSERT_TRUE(answer.batch);
  ASSERT_EQ(3u, answer.responses.size());
  EXPECT_EQ(0, answer.responses[0].code);
  EXPECT_EQ(1, answer.responses[1].code);
  EXPECT_EQ(1, answer.responses[2].code);
  EXPECT_FALSE(answer.responses[2].authorized());
  EXPECT_TRUE(answer.unauthorized());
}

TEST_F(RpcMethodTest, MulticallSlotsAndRefusal) {
  option_->put(PREF_RPC_SECRET, "right");
  auto calls = List::g();
  auto call = [](const char* method, const char* token) {
    auto d = Dict::g();
    d->put("methodName", method);
    d->put("params", params({token}));
    return d;
  };
  calls->append(call("quarn.getVersion", "token:right"));
  calls->append(call("system.multicall", "token:right"));
  calls->append(Integer::g(1));
  calls->append(call("quarn.getVersion", "token:wrong"));
  calls->append(call("quarn.getVersion", "token:right"));
  auto outer = List::g();
  outer->append(std::move(calls));
  RpcResponse r = getMethod("system.multicall")
                      .execute(RpcRequest("system.multicall", std::move(outer)), &engine_);
  EXPECT_EQ(0, r.code);
  EXPECT_FALSE(r.authorized());
  auto* results = static_cast<List*>(r.param.get());
  ASSERT_EQ(5u, results->size());
  EXPECT_EQ('[', json::encode(results->get(0))[0]);
  EXPECT_EQ("{\"faultCode\":1,\"faultString\":\"Recursive system.multicall forbidden.\"}",
            json::encode(results->get(1)));
  EXPECT_EQ("{\"faultCode\":1,\"faultString\":\"system.multicall expected struct.\"}",
            json::encode(results->get(2)));
  EXPECT_EQ("{\"faultCode\":1,\"faultString\":\"Unauthorized\"}", json::encode(results->get(3)));
  EXPECT_EQ("{\"faultCode\":1,\"faultString\":\"Unauthorized\"}", json::encode(results->get(4)));
}

TEST_F(RpcMethodTest, JsonEnvelopeErrors) {
  struct Case {
    const char* request;
    const char* answer;
  };
  const Case cases[] = {
      {"{\"method\":\"quarn.getVersion\"}",
       "{\"id\":null,\"jsonrpc\":\"2.0\",\"error\":{\"code\":-32600,\"message\":\"Invalid "
       "Request.\"}}"},
      {"{\"id\":\"x\",\"method\":1}",
       "{\"id\":\"x\",\"jsonrpc\":\"2.0\",\"error\":{\"code\":-32600,\"message\":\"Invalid "
       "Request.\"}}"},
      {"{\"id\":2,\"method\":\"quarn.getVersion\",\"params\":{}}",
       "{\"id\":2,\"jsonrpc\":\"2.0\",\"error\":{\"code\":-32602,\"message\":\"Invalid "
       "params.\"}}"},
      {"\"text\"",
       "{\"id\":null,\"jsonrpc\":\"2.0\",\"error\":{\"code\":-32600,\"message\":\"Invalid "
       "Request.\"}}"},
      {"{\"id\":3,\"method\":\"quarn.purgeDownloadResult\"}",
       "{\"id\":3,\"jsonrpc\":\"2.0\",\"result\":\"OK\"}"},
  };
  for (const auto& c : cases) {
    auto value = parseJson(c.request);
    ASSERT_TRUE(value) << c.request;
    EXPECT_EQ(c.answer, processJsonRpcValue(value.get(), &engine_).encode("", false));
  }
}

TEST_F(RpcMethodTest, ChangeGlobalOptionTakesEffect) {
  auto opts = Dict::g();
  opts->put("max-overall-download-limit", "100K");
  opts->put("no-such-option", "1");
  opts->put("max-concurrent-downloads", Integer::g(9));
  auto l = List::g();
  l->append(std::move(opts));
  EXPECT_EQ("\"OK\"", text(run("quarn.changeGlobalOption", std::move(l))));
  EXPECT_EQ(100 * 1024, rgman()->getMaxOverallDownloadSpeedLimit());
  EXPECT_EQ(5, rgman()->getMaxConcurrentDownloads());
  auto bad = Dict::g();
  bad->put("max-overall-download-limit", "lots");
  auto l2 = List::g();
  l2->append(std::move(bad));
  EXPECT_EQ(1, run("quarn.changeGlobalOption", std::move(l2)).code);
}

TEST_F(RpcMethodTest, PauseRules) {
  struct Case {
    const char* name;
    bool reserved, force, halt, forceHalt, pause;
    bool result, haltAfter, forceHaltAfter, pauseAfter;
  };
  const Case cases[] = {
      {"waiting", true, false, false, false, false, true, false, false, true},
      {"waiting, already paused", true, false, false, false, true, false, false, false, true},
      {"active", false, false, false, false, false, true, true, false, true},
      {"active, halting", false, false, true, false, false, false, true, false, false},
      {"active, force-halting", false, true, false, true, false, false, false, true, false},
      {"forced", false, true, false, false, false, true, false, true, true},
      {"forced upgrades a pause", false, true, true, false, true, true, true, true, true},
      {"forced, halting without pause", false, true, true, false, false, false, true, false, false},
  };
  for (const auto& c : cases) {
    auto group = test::makeGroup(option_);
    if (c.halt) {
      group->setHaltRequested(true);
    }
    if (c.forceHalt) {
      group->setForceHaltRequested(true);
    }
    group->setPauseRequested(c.pause);
    EXPECT_EQ(c.result, pauseRequestGroup(group, c.reserved, c.force)) << c.name;
    EXPECT_EQ(c.haltAfter || c.forceHaltAfter, group->isHaltRequested()) << c.name;
    EXPECT_EQ(c.forceHaltAfter, group->isForceHaltRequested()) << c.name;
    EXPECT_EQ(c.pauseAfter, group->isPauseRequested()) << c.name;
  }
}

TEST_F(RpcMethodTest, GlobalOptionNeverShowsTheSecret) {
  option_->put(PREF_RPC_SECRET, "hidden");
  RpcResponse r = run("quarn.getGlobalOption", params({"token:hidden"}));
  ASSERT_EQ(0, r.code);
  EXPECT_FALSE(static_cast<Dict*>(r.param.get())->containsKey("rpc-secret"));
  EXPECT_TRUE(static_cast<Dict*>(r.param.get())->containsKey("dir"));
}

TEST_F(RpcMethodTest, AddMetalinkQueuesAllItsDownloadsTogether) {
  test::TempDir dir;
  option_->put(PREF_DIR, dir.path().string());
  const std::string doc =
      "<?xml version=\"1.0\"?><metalink xmlns=\"urn:ietf:params:xml:ns:metalink\">"
      "<file name=\"one\"><url>http://127.0.0.1/1</url></file>"
      "<file name=\"two\"><url>http://127.0.0.1/2</url></file></metalink>";
  const std::string savedPath = dir.file("b2f7a6f126a936b2890c0e974990b825d9f7fefe.meta4");
  auto add = [&](const char* save, const char* selectFile, int64_t pos) {
    auto l = params({base64::encode(doc.begin(), doc.end()).c_str()});
    auto opts = Dict::g();
    opts->put("rpc-save-upload-metadata", save);
    if (selectFile) {
      opts->put("select-file", selectFile);
    }
    l->append(std::move(opts));
    l->append(Integer::g(pos));
    return run("quarn.addMetalink", std::move(l));
  };
  auto gidsOf = [](const RpcResponse& r) {
    std::vector<std::string> gids;
    for (const auto& v : *static_cast<List*>(r.param.get())) {
      gids.push_back(static_cast<String*>(v.get())->s());
    }
    return gids;
  };
  std::string a = addWaiting();
  std::string b = addWaiting();
  // Both files go in at the position, in document order.
  RpcResponse kept = add("true", nullptr, 1);
  ASSERT_EQ(0, kept.code) << text(kept);
  auto gids = gidsOf(kept);
  ASSERT_EQ(2u, gids.size());
  EXPECT_EQ((std::vector<std::string>{a, gids[0], gids[1], b}), waitingGids());
  // The document is kept under its SHA-1 and named as the downloads' source.
  GroupId::gid_t first = 0;
  ASSERT_EQ(0, GroupId::toNumericId(first, gids[0]));
  auto source = rgman()->findGroup(first)->getMetadataInfo();
  ASSERT_TRUE(source);
  EXPECT_FALSE(source->dataOnly());
  EXPECT_EQ(savedPath, source->getUri());
  EXPECT_TRUE(std::filesystem::exists(savedPath));
  std::filesystem::remove(savedPath);
  // Not kept: the data itself is read.
  RpcResponse unsaved = add("false", "2", 0);
  ASSERT_EQ(0, unsaved.code) << text(unsaved);
  ASSERT_EQ(1u, gidsOf(unsaved).size());
  EXPECT_EQ(gidsOf(unsaved)[0], waitingGids().front());
  EXPECT_FALSE(std::filesystem::exists(savedPath));
  // Nothing selected: no download and no error.
  RpcResponse none = add("false", "9", 0);
  EXPECT_EQ(0, none.code);
  EXPECT_EQ("[]", text(none));
  EXPECT_EQ(5u, waitingGids().size());
}

}  // namespace
}  // namespace quarn::rpc
