#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/BooleanOptionHandler.h"
#include "config/DefaultOptionHandler.h"
#include "config/NumberOptionHandler.h"
#include "config/Option.h"
#include "config/OptionHandlerException.h"
#include "config/OptionParser.h"
#include "config/help_tags.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"
#include "foundation/UnknownOptionException.h"

namespace quarn {

namespace {

// An argument vector whose strings the parser may rewrite.
struct Argv {
  explicit Argv(std::vector<std::string> args) : storage(std::move(args)) {
    for (auto& s : storage) {
      ptrs.push_back(s.data());
    }
    ptrs.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(storage.size()); }
  char** argv() { return ptrs.data(); }
  std::vector<std::string> storage;
  std::vector<char*> ptrs;
};

class OptionParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto timeout = new NumberOptionHandler(PREF_TIMEOUT, "", "60", 1, 600, 't');
    timeout->addTag(TAG_BASIC);
    parser_.addOptionHandler(timeout);
    parser_.addOptionHandler(
        new BooleanOptionHandler(PREF_DRY_RUN, "", "false", OptionHandler::ARG_OPTIONAL));
    parser_.addOptionHandler(
        new DefaultOptionHandler(PREF_HELP, "", "#basic", "", OptionHandler::ARG_OPTIONAL, 'h'));
    auto secret = new DefaultOptionHandler(PREF_RPC_SECRET);
    secret->setEraseAfterParse(true);
    parser_.addOptionHandler(secret);
    auto hidden = new NumberOptionHandler(PREF_DNS_TIMEOUT, "", "30", 1, 60);
    hidden->hide();
    parser_.addOptionHandler(hidden);
    parser_.addOptionHandler(new DefaultOptionHandler(PREF_DIR));
    parser_.addOptionHandler(new NumberOptionHandler(PREF_MAX_TRIES, "", "5", 0, -1, 'm'));
    parser_.addOptionHandler(new NumberOptionHandler(PREF_MAX_CONNECTION_PER_SERVER));
  }

  std::string parseArgs(std::vector<std::string> args, std::vector<std::string>* uris = nullptr) {
    args.insert(args.begin(), "quarnc");
    Argv a(args);
    std::ostringstream out;
    std::vector<std::string> positional;
    parser_.parseArg(out, uris ? *uris : positional, a.argc(), a.argv());
    lastArgv_ = a.storage;
    return out.str();
  }

  OptionParser parser_;
  std::vector<std::string> lastArgv_;
};

}  // namespace

TEST_F(OptionParserTest, CommandLineBecomesOneLinePerOccurrence) {
  std::vector<std::string> uris;
  EXPECT_EQ("timeout=5\ndry-run=\nhelp=\nhelp=#http\nmax-tries=3\n",
            parseArgs({"-t", "5", "http://a/", "--dry-run", "-h", "--help=#http", "--max-trie=3",
                       "--", "--not-an-option"},
                      &uris));
  EXPECT_EQ((std::vector<std::string>{"http://a/", "--not-an-option"}), uris);
}

TEST_F(OptionParserTest, ErasedValueLeavesAsterisksInArgv) {
  EXPECT_EQ("rpc-secret=s3cret\n", parseArgs({"--rpc-secret=s3cret"}));
  EXPECT_EQ("--rpc-secret=******", lastArgv_[1]);
  parseArgs({"--rpc-secret", "abc"});
  EXPECT_EQ("***", lastArgv_[2]);
}

TEST_F(OptionParserTest, ErrorsOfTheCommandLine) {
  struct Case {
    std::vector<std::string> args;
    bool unknown;  // UnknownOptionException rather than a parse failure
    std::string text;
  } cases[] = {
      {{"--no-such-option"}, true, "--no-such-option"},
      {{"--no-such=1"}, true, "--no-such=1"},
      {{"--dns-timeout=5"}, true, "--dns-timeout=5"},
      // An ambiguous abbreviation is unknown.
      {{"--max"}, true, "--max"},
      {{"-Q"}, false, ""},
      {{"-t"}, false, ""},
      // A known option, or an abbreviation of exactly one, without its value.
      {{"--timeout"}, false, ""},
      {{"--timeo"}, false, ""},
      {{"--max-trie"}, false, ""},
  };
  for (const auto& c : cases) {
    try {
      parseArgs(c.args);
      ADD_FAILURE() << c.args[0];
    } catch (const UnknownOptionException& e) {
      EXPECT_TRUE(c.unknown) << c.args[0];
      EXPECT_EQ(c.text, e.getUnknownOption());
      EXPECT_EQ("Unknown option '" + c.text + "'", std::string(e.what()));
      EXPECT_EQ(error_code::OPTION_ERROR, e.getErrorCode());
    } catch (const DlAbortEx& e) {
      EXPECT_FALSE(c.unknown) << c.args[0];
      EXPECT_STREQ("Failed to parse command-line options.", e.what());
      EXPECT_EQ(error_code::OPTION_ERROR, e.getErrorCode());
    }
  }
}

TEST_F(OptionParserTest, ConfigurationText) {
  std::istringstream in(
      "# comment\n"
      "\n"
      "  #timeout=9\n"
      "   \n"
      "=5\n"
      "dir\n"
      "max-tries  =  5 \n"
      "dns-timeout=9\n"
      "unknown=1\n"
      "timeout=7\r\n"
      "timeout=8\n");
  Option o;
  parser_.parse(o, in);
  EXPECT_EQ("", o.get(PREF_DIR));
  EXPECT_TRUE(o.defined(PREF_DIR));
  EXPECT_EQ("5", o.get(PREF_MAX_TRIES));
  EXPECT_EQ("8", o.get(PREF_TIMEOUT));
  EXPECT_FALSE(o.defined(PREF_DNS_TIMEOUT));
}

TEST_F(OptionParserTest, BadConfigurationLineStopsReading) {
  std::istringstream in("timeout=5\ntimeout=0\nmax-tries=9\n");
  Option o;
  EXPECT_THROW(parser_.parse(o, in), OptionHandlerException);
  EXPECT_EQ("5", o.get(PREF_TIMEOUT));
  EXPECT_FALSE(o.defined(PREF_MAX_TRIES));
}

TEST_F(OptionParserTest, PairsAndDefaults) {
  Option o;
  parser_.parse(o, {{"timeout", "9"}, {"unknown", "x"}, {"dns-timeout", "5"}});
  EXPECT_EQ("9", o.get(PREF_TIMEOUT));
  EXPECT_FALSE(o.defined(PREF_DNS_TIMEOUT));
  Option d;
  parser_.parseDefaultValues(d);
  EXPECT_EQ("30", d.get(PREF_DNS_TIMEOUT));
  EXPECT_EQ("60", d.get(PREF_TIMEOUT));
  EXPECT_FALSE(d.defined(PREF_DIR));
}

TEST_F(OptionParserTest, Lookups) {
  EXPECT_EQ(nullptr, parser_.find(PREF_DNS_TIMEOUT));
  EXPECT_EQ(nullptr, parser_.find(option::i2p(0)));
  EXPECT_EQ(nullptr, parser_.findById(100000));
  EXPECT_EQ(PREF_TIMEOUT, parser_.findByShortName('t')->getPref());
  EXPECT_EQ(nullptr, parser_.findByShortName('z'));
  auto basic = parser_.findByTag(TAG_BASIC);
  ASSERT_EQ(1u, basic.size());
  EXPECT_EQ(PREF_TIMEOUT, basic[0]->getPref());
  auto maxes = parser_.findByNameSubstring("max");
  ASSERT_EQ(2u, maxes.size());
  EXPECT_EQ(PREF_MAX_TRIES, maxes[0]->getPref());
  EXPECT_EQ(PREF_MAX_CONNECTION_PER_SERVER, maxes[1]->getPref());
  EXPECT_TRUE(parser_.findByNameSubstring("zzz").empty());
  auto all = parser_.findAll();
  EXPECT_EQ(7u, all.size());
  for (size_t i = 1; i < all.size(); ++i) {
    EXPECT_LT(all[i - 1]->getPref()->i, all[i]->getPref()->i);
  }
}

TEST(OptionParserInstanceTest, ProxyNamesInIdOrder) {
  auto proxies = OptionParser::getInstance()->findByNameSubstring("proxy");
  std::vector<std::string> names;
  for (auto h : proxies) {
    names.push_back(h->getName());
  }
  EXPECT_EQ((std::vector<std::string>{
                "http-proxy", "https-proxy", "ftp-proxy", "all-proxy", "no-proxy", "proxy-method",
                "http-proxy-user", "http-proxy-passwd", "https-proxy-user", "https-proxy-passwd",
                "ftp-proxy-user", "ftp-proxy-passwd", "all-proxy-user", "all-proxy-passwd"}),
            names);
}

}  // namespace quarn
