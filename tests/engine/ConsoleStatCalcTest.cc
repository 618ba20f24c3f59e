#include "engine/ConsoleStatCalc.h"

#include <gtest/gtest.h>

#include "DownloadTestUtil.h"
#include "FakeEventPoll.h"
#include "TempDir.h"
#include "engine/ColorizedStream.h"
#include "engine/DownloadEngine.h"
#include "engine/FileAllocationEntry.h"
#include "engine/RequestGroupEntry.h"
#include "engine/RequestGroupMan.h"
#include "foundation/console.h"
#include "foundation/wallclock.h"
#include "storage/DefaultPieceStorage.h"
#include "storage/SequentialPicker.h"

namespace quarn {

TEST(ColorizedStreamTest, RendersWithOrWithoutColourAndCutsVisibleText) {
  ColorizedStream o;
  o << colors::magenta << "[" << colors::clear << "DL:" << colors::green << 12 << "B"
    << colors::clear << "]";
  EXPECT_EQ("[DL:12B]", o.str(false));
  EXPECT_EQ("\033[35m[\033[0mDL:\033[32m12B\033[0m]\033[0m", o.str(true));
  EXPECT_EQ("[DL:1", o.str(false, 5));
  EXPECT_EQ("\033[35m[\033[0mDL:\033[32m1\033[0m", o.str(true, 5));
  EXPECT_EQ("[DL:", o.str(false, 4));
  EXPECT_EQ("[DL:12B]", o.str(false, 100));
  EXPECT_EQ("\033[0m", o.str(true, 0).substr(o.str(true, 0).size() - 4));
}

namespace {

class ConsoleStatCalcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_.setOption(option_.get());
    global::wallclock() = Timer(Timer::now());
  }

  RequestGroupMan* start(std::vector<std::shared_ptr<RequestGroup>> groups) {
    for (const auto& g : groups) {
      entries_.push_back(std::make_unique<RequestGroupEntry>(g.get()));
    }
    engine_.setRequestGroupMan(std::make_unique<RequestGroupMan>(groups, 10, option_.get()));
    auto* rgman = engine_.getRequestGroupMan();
    rgman->fillRequestGroupFromReserver(&engine_);
    return rgman;
  }

  std::string readout(ConsoleStatCalc& calc) {
    // A second past both the last turn and the real clock: the readout stamps itself
    // with the real clock when it is made, and building the downloads takes time.
    auto base = std::max(global::wallclock().getTime(), Timer::now());
    global::wallclock() = Timer(base + std::chrono::seconds(1));
    testing::internal::CaptureStdout();
    calc.calculateStat(&engine_);
    global::cout()->flush();
    return testing::internal::GetCapturedStdout();
  }

  std::shared_ptr<Option> option_ = test::makeGlobalOption();
  DownloadEngine engine_{std::make_unique<FakeEventPoll>()};
  std::vector<std::unique_ptr<RequestGroupEntry>> entries_;
};

}  // namespace

TEST_F(ConsoleStatCalcTest, OneDownloadOfUnknownLengthOnAFile) {
  auto g = test::makeGroup(option_, "", {"http://127.0.0.1/"});
  start({g});
  ConsoleStatCalc calc(std::chrono::seconds(0), true, true);
  calc.setTerminal(false);
  EXPECT_EQ("[#" + g->getGroupId()->toAbbrevHex() + " 0B/0B CN:0 DL:0B]\n", readout(calc));
  // Not yet 990 ms later: nothing.
  testing::internal::CaptureStdout();
  calc.calculateStat(&engine_);
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

TEST_F(ConsoleStatCalcTest, KnownLengthShowsPercentage) {
  test::TempDir dir;
  auto g = test::makeGroup(option_, dir.file("f"), {}, 4096);
  auto ps = std::make_shared<DefaultPieceStorage>(g->getDownloadContext(), g->getOption().get());
  ps->markPiecesDone(1024);
  start({g});
  g->setPieceStorage(ps);
  ConsoleStatCalc calc(std::chrono::seconds(0), true, false);
  calc.setTerminal(false);
  EXPECT_EQ("[#" + g->getGroupId()->toAbbrevHex() + " 1024B/4096B(25%) CN:0 DL:0B]\n",
            readout(calc));
}

TEST_F(ConsoleStatCalcTest, ManyDownloadsShowFiveAndTheRestCounted) {
  std::vector<std::shared_ptr<RequestGroup>> groups;
  for (int i = 0; i < 7; ++i) {
    groups.push_back(test::makeGroup(option_, "", {"http://127.0.0.1/"}));
  }
  start(groups);
  ConsoleStatCalc calc(std::chrono::seconds(0));
  calc.setTerminal(false);
  std::string expected = "[DL:0B]";
  for (int i = 0; i < 5; ++i) {
    expected += "[#" + groups[i]->getGroupId()->toAbbrevHex() + " 0B/0B]";
  }
  expected += "(+2)\n";
  EXPECT_EQ(expected, readout(calc));
}

TEST_F(ConsoleStatCalcTest, SummaryEvenWhenTheReadoutIsHidden) {
  auto g = test::makeGroup(option_, "/d/a", {"http://127.0.0.1/"});
  start({g});
  ConsoleStatCalc calc(std::chrono::seconds(1));
  calc.setTerminal(false);
  calc.setReadoutVisibility(false);
  std::string text = readout(calc);
  EXPECT_EQ(0u, text.find(" *** Download Progress Summary"));
  EXPECT_NE(std::string::npos,
            text.find(" *** \n" + std::string(79, '=') + "\n[#" + g->getGroupId()->toAbbrevHex() +
                      " 0B/0B CN:0 DL:0B]\nFILE: /d/a\n" + std::string(79, '-') + "\n\n"));
  EXPECT_EQ(text.size(), text.find("\n\n") + 2);
}

namespace {

class TestAllocationEntry : public FileAllocationEntry {
 public:
  using FileAllocationEntry::FileAllocationEntry;
  void prepareForNextAction(std::vector<std::unique_ptr<Command>>&, DownloadEngine*) override {}
};

}  // namespace

TEST_F(ConsoleStatCalcTest, FileAllocationInProgress) {
  test::TempDir dir;
  auto g = test::makeGroup(option_, dir.file("f"), {}, 4096);
  start({g});
  auto ps = std::make_shared<DefaultPieceStorage>(g->getDownloadContext(), g->getOption().get());
  ps->initStorage();
  g->setPieceStorage(ps);
  auto picker = std::make_unique<SequentialPicker<FileAllocationEntry>>();
  picker->pushEntry(std::make_unique<TestAllocationEntry>(g.get()));
  picker->pushEntry(std::make_unique<TestAllocationEntry>(g.get()));
  picker->pickNext();
  engine_.setFileAllocationMan(std::move(picker));
  ConsoleStatCalc calc(std::chrono::seconds(0), true, false);
  calc.setTerminal(false);
  std::string text = readout(calc);
  EXPECT_NE(std::string::npos,
            text.find(" [FileAlloc:#" + g->getGroupId()->toAbbrevHex() + " 0B/4096B(0%)](+1)\n"))
      << text;
  engine_.setFileAllocationMan(nullptr);
}

}  // namespace quarn
