#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "config/Option.h"
#include "config/OptionHandler.h"
#include "config/OptionHandlerFactory.h"
#include "config/OptionParser.h"
#include "config/help_tags.h"
#include "config/option_catalogue.h"
#include "config/prefs.h"
#include "foundation/UnknownOptionException.h"

namespace quarn {

namespace {

struct Handlers {
  std::vector<OptionHandler*> list = OptionHandlerFactory::createOptionHandlers();
  ~Handlers() {
    for (auto h : list) {
      delete h;
    }
  }
};

std::string flagLetters(const OptionHandler& h) {
  std::string s;
  if (h.getInitialOption())
    s += 'I';
  if (h.getChangeOption())
    s += 'C';
  if (h.getChangeOptionForReserved())
    s += 'R';
  if (h.getChangeGlobalOption())
    s += 'G';
  if (h.getEraseAfterParse())
    s += 'E';
  if (h.getCumulative())
    s += 'U';
  if (h.isHidden())
    s += 'H';
  return s;
}

}  // namespace

TEST(OptionCatalogueTest, EveryOptionOnceWithUniqueShortLetters) {
  Handlers handlers;
  ASSERT_EQ(207u, handlers.list.size());
  std::set<size_t> ids;
  std::string letters;
  for (auto h : handlers.list) {
    EXPECT_TRUE(ids.insert(h->getPref()->i).second) << h->getName();
    EXPECT_STREQ(h->getPref()->k, h->getName());
    if (h->getShortName()) {
      letters += h->getShortName();
    }
  }
  EXPECT_EQ("VcDdaZiljxkPqmnoRstUpSOuTMvh", letters);
  std::set<char> unique(letters.begin(), letters.end());
  EXPECT_EQ(letters.size(), unique.size());
  // Seven ids are written only by other options' handlers.
  std::set<const Pref*> unhandled;
  for (size_t i = 1; i < option::countOption(); ++i) {
    if (!ids.count(i)) {
      unhandled.insert(option::i2p(i));
    }
  }
  EXPECT_EQ((std::set<const Pref*>{PREF_MAX_DOWNLOADS, PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFA,
                                   PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFB,
                                   PREF_DHT_ENTRY_POINT_HOST, PREF_DHT_ENTRY_POINT_PORT,
                                   PREF_DHT_ENTRY_POINT_HOST6, PREF_DHT_ENTRY_POINT_PORT6}),
            unhandled);
}

TEST(OptionCatalogueTest, FlagCombinationsAndDeprecatedEntries) {
  Handlers handlers;
  std::map<std::string, int> combos;
  std::set<std::string> deprecated;
  for (auto h : handlers.list) {
    ++combos[flagLetters(*h)];
    if (h->hasTag(TAG_DEPRECATED)) {
      deprecated.insert(h->getName());
    }
  }
  EXPECT_EQ((std::map<std::string, int>{{"IRG", 82},
                                        {"", 69},
                                        {"G", 13},
                                        {"IRGE", 12},
                                        {"H", 9},
                                        {"ICRG", 7},
                                        {"IG", 5},
                                        {"E", 3},
                                        {"IR", 3},
                                        {"I", 2},
                                        {"IRGU", 1},
                                        {"IRU", 1}}),
            combos);
  EXPECT_EQ((std::set<std::string>{"enable-async-dns6", "rpc-user", "rpc-passwd"}), deprecated);
}

TEST(OptionCatalogueTest, HelpTextsStartWithTheOptionsOwnHead) {
  Handlers handlers;
  for (auto h : handlers.list) {
    std::string desc = h->getDescription();
    if (h->isHidden()) {
      EXPECT_EQ("", desc) << h->getName();
      continue;
    }
    std::string head = " ";
    // "file-allocation" accepts -a but does not show it.
    if (h->getShortName() && h->getPref() != PREF_FILE_ALLOCATION) {
      head += std::string("-") + h->getShortName() + ", ";
    }
    head += std::string("--") + h->getName();
    EXPECT_EQ(0u, desc.find(head)) << desc;
    std::istringstream lines(desc);
    std::string line;
    while (std::getline(lines, line)) {
      EXPECT_LT(line.size(), 80u) << line;
    }
  }
}

TEST(OptionCatalogueTest, HelpEntryLayout) {
  auto parser = OptionParser::getInstance();
  std::string help = parser->find(PREF_HELP)->getDescription();
  EXPECT_EQ(0u, help.find(" -h, --help[=TAG|KEYWORD]     Print usage and exit.")) << help;
  std::string asyncDns = parser->find(PREF_ASYNC_DNS)->getDescription();
  EXPECT_EQ(0u, asyncDns.find(" --async-dns[=true|false]     ")) << asyncDns;
  EXPECT_EQ(
      "#basic, #advanced, #http, #https, #ftp, #metalink, #bittorrent, #cookie, #hook, #file, "
      "#rpc, #checksum, #experimental, #deprecated, #help, #all",
      parser->find(PREF_HELP)->createPossibleValuesString());
}

TEST(OptionCatalogueTest, EveryDefaultIsAcceptedByItsOwnHandler) {
  auto parser = OptionParser::getInstance();
  Option defaults;
  parser->parseDefaultValues(defaults);
  Handlers handlers;
  for (auto h : handlers.list) {
    if (h->getDefaultValue().empty()) {
      EXPECT_FALSE(defaults.defined(h->getPref())) << h->getName();
      continue;
    }
    Option o;
    EXPECT_NO_THROW(h->parse(o, h->getDefaultValue())) << h->getName();
    EXPECT_TRUE(defaults.defined(h->getPref())) << h->getName();
  }
  // Hidden options cannot be set, yet their defaults hold.
  EXPECT_EQ("30", defaults.get(PREF_DNS_TIMEOUT));
  EXPECT_EQ("true", defaults.get(PREF_SELECT_LEAST_USED_HOST));
  EXPECT_EQ("2", defaults.get(PREF_MAX_HTTP_PIPELINING));
  EXPECT_EQ("16777216", defaults.get(PREF_DISK_CACHE));
  EXPECT_EQ("9223372036854775807", defaults.get(PREF_MAX_MMAP_LIMIT));
  EXPECT_EQ("QN-1-37-0-", defaults.get(PREF_PEER_ID_PREFIX));
  EXPECT_EQ("quarn/1.37.0", defaults.get(PREF_USER_AGENT));
  EXPECT_EQ("epoll", defaults.get(PREF_EVENT_POLL));
  EXPECT_EQ("0", defaults.get(PREF_MAX_DOWNLOAD_LIMIT));
  EXPECT_FALSE(defaults.defined(PREF_GID));
  EXPECT_FALSE(defaults.defined(PREF_STOP_WITH_PROCESS));
}

TEST(OptionCatalogueTest, HiddenOptionsAreRefusedEverywhere) {
  auto parser = OptionParser::getInstance();
  Handlers handlers;
  int hidden = 0;
  for (auto h : handlers.list) {
    if (!h->isHidden()) {
      EXPECT_EQ(h->getPref(), parser->find(h->getPref())->getPref());
      continue;
    }
    ++hidden;
    EXPECT_EQ(nullptr, parser->find(h->getPref())) << h->getName();
    std::string arg = std::string("--") + h->getName() + "=1";
    char prog[] = "quarnc";
    std::vector<char*> argv = {prog, arg.data(), nullptr};
    std::ostringstream out;
    std::vector<std::string> uris;
    // A hidden name that begins a visible one ("dht-listen-addr" of
    // "dht-listen-addr6") is taken as an abbreviation of the visible option.
    try {
      parser->parseArg(out, uris, 2, argv.data());
      EXPECT_EQ(0u, out.str().find(std::string(h->getName()) + "6=1\n")) << out.str();
    } catch (const UnknownOptionException& e) {
      EXPECT_EQ(arg, e.getUnknownOption());
    }
    Option o;
    std::istringstream conf(std::string(h->getName()) + "=1\n");
    parser->parse(o, conf);
    EXPECT_FALSE(o.defined(h->getPref()));
  }
  EXPECT_EQ(9, hidden);
}

TEST(OptionCatalogueTest, SecretsAreMaskedInTheArgumentVector) {
  auto parser = OptionParser::getInstance();
  int masked = 0;
  for (auto h : parser->findAll()) {
    if (!h->getEraseAfterParse()) {
      continue;
    }
    ++masked;
    std::string arg = std::string("--") + h->getName() + "=s3cret";
    std::string separate = "s3cret";
    char prog[] = "quarnc";
    std::string name = std::string("--") + h->getName();
    std::vector<char*> argv = {prog, arg.data(), name.data(), separate.data(), nullptr};
    std::ostringstream out;
    std::vector<std::string> uris;
    parser->parseArg(out, uris, 4, argv.data());
    EXPECT_EQ(std::string("--") + h->getName() + "=******", arg);
    EXPECT_EQ("******", separate);
    EXPECT_EQ(std::string(h->getName()) + "=s3cret\n" + h->getName() + "=s3cret\n", out.str());
  }
  // The credentials, the proxy credentials, rpc-secret and the deprecated
  // rpc-user and rpc-passwd.
  EXPECT_EQ(15, masked);
}

TEST(OptionCatalogueTest, ValuesThatReach32BitFieldsDoNotWrap) {
  auto parser = OptionParser::getInstance();
  struct Case {
    const Pref* pref;
    const char* value;
    bool accepted;
  } cases[] = {
      {PREF_MAX_DOWNLOAD_LIMIT, "2048M", false},
      {PREF_MAX_DOWNLOAD_LIMIT, "2047M", true},
      {PREF_MAX_OVERALL_DOWNLOAD_LIMIT, "4096M", false},
      {PREF_MAX_UPLOAD_LIMIT, "2048M", false},
      {PREF_MAX_OVERALL_UPLOAD_LIMIT, "2048M", false},
      {PREF_STOP_WITH_PROCESS, "0", false},
      {PREF_STOP_WITH_PROCESS, "4294967297", false},
      {PREF_STOP_WITH_PROCESS, "2147483648", false},
      {PREF_STOP_WITH_PROCESS, "1", true},
      {PREF_DSCP, "63", true},
      {PREF_DSCP, "64", false},
      {PREF_DSCP, "4294967296", false},
  };
  for (const auto& c : cases) {
    Option o;
    bool accepted = true;
    try {
      parser->find(c.pref)->parse(o, c.value);
    } catch (const Exception&) {
      accepted = false;
    }
    EXPECT_EQ(c.accepted, accepted) << c.pref->k << " " << c.value;
  }
}

}  // namespace quarn
