#include <gtest/gtest.h>

#include "DownloadTestUtil.h"
#include "FakeEventPoll.h"
#include "engine/AdaptiveURISelector.h"
#include "engine/DownloadEngine.h"
#include "engine/FeedbackURISelector.h"
#include "engine/InorderURISelector.h"
#include "engine/RequestGroupMan.h"
#include "storage/FileEntry.h"
#include "storage/Request.h"
#include "storage/ServerStatMan.h"

namespace quarn {
namespace {

class RequestGroupManServerStatTest : public ::testing::Test {
 protected:
  RequestGroupManServerStatTest() { engine_.setOption(option_.get()); }

  RequestGroupMan* makeMan(std::vector<std::shared_ptr<RequestGroup>> groups) {
    engine_.setRequestGroupMan(
        std::make_unique<RequestGroupMan>(std::move(groups), 5, option_.get()));
    return engine_.getRequestGroupMan();
  }

  std::shared_ptr<Option> option_ = test::makeGlobalOption();
  DownloadEngine engine_{std::make_unique<FakeEventPoll>()};
};

TEST_F(RequestGroupManServerStatTest, GetOrCreateServerStatAddsOnFirstUse) {
  auto* man = makeMan({});
  EXPECT_EQ(nullptr, man->findServerStat("host", "http"));
  auto stat = man->getOrCreateServerStat("host", "http");
  ASSERT_TRUE(stat);
  EXPECT_EQ(stat, man->getOrCreateServerStat("host", "http"));
  EXPECT_EQ(stat, man->getServerStatMan()->find("host", "http"));
  EXPECT_FALSE(man->addServerStat(std::make_shared<ServerStat>("host", "http")));
}

TEST_F(RequestGroupManServerStatTest, StartingDownloadGetsTheSelectorItsOptionNames) {
  struct {
    const char* name;
    std::function<bool(URISelector*)> isExpected;
  } cases[] = {
      {"feedback", [](URISelector* s) { return dynamic_cast<FeedbackURISelector*>(s) != nullptr; }},
      {"adaptive", [](URISelector* s) { return dynamic_cast<AdaptiveURISelector*>(s) != nullptr; }},
      {"inorder", [](URISelector* s) { return dynamic_cast<InorderURISelector*>(s) != nullptr; }},
  };
  for (const auto& c : cases) {
    auto g = test::makeGroup(option_, "out", {"http://localhost/f"});
    g->getOption()->put(PREF_URI_SELECTOR, c.name);
    // The engine holds the download's first command and goes first.
    DownloadEngine engine(std::make_unique<FakeEventPoll>());
    engine.setOption(option_.get());
    engine.setRequestGroupMan(std::make_unique<RequestGroupMan>(
        std::vector<std::shared_ptr<RequestGroup>>{g}, 5, option_.get()));
    engine.getRequestGroupMan()->fillRequestGroupFromReserver(&engine);
    EXPECT_TRUE(c.isExpected(g->getURISelector())) << c.name;
  }
}

TEST_F(RequestGroupManServerStatTest, UsedHostsAreLeastUsedFirstThenFasterThenByName) {
  InorderURISelector selector;
  auto a = test::makeGroup(option_, "a",
                           {"http://busy/1", "http://slow/1", "http://fast/1", "http://busy/2",
                            "http://zeta/1", "http://alpha/1"});
  auto b = test::makeGroup(option_, "b", {"http://busy/3", "not a uri"});
  auto* man = makeMan({});
  man->addRequestGroup(a);
  man->addRequestGroup(b);
  for (auto& g : {a, b}) {
    auto& entry = *g->getDownloadContext()->getFirstFileEntry();
    entry.setMaxConnectionPerServer(5);
    while (entry.getRequest(&selector, false, {})) {
    }
  }
  auto fast = man->getOrCreateServerStat("fast", "http");
  fast->setDownloadSpeed(9000);
  auto slow = man->getOrCreateServerStat("slow", "http");
  slow->setDownloadSpeed(100);
  auto failed = man->getOrCreateServerStat("zeta", "http");
  failed->setDownloadSpeed(99999);
  failed->setStatus(ServerStat::ERROR);

  UsedHosts used{{7, "earlier"}};
  man->getUsedHosts(used);
  UsedHosts expected{{7, "earlier"}, {1, "fast"}, {1, "slow"},
                     {1, "alpha"},   {1, "zeta"}, {3, "busy"}};
  EXPECT_EQ(expected, used);
}

}  // namespace
}  // namespace quarn
