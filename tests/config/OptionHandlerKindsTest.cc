#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "config/BooleanOptionHandler.h"
#include "config/ChecksumOptionHandler.h"
#include "config/CumulativeOptionHandler.h"
#include "config/DefaultOptionHandler.h"
#include "config/DeprecatedOptionHandler.h"
#include "config/FloatNumberOptionHandler.h"
#include "config/HostPortOptionHandler.h"
#include "config/HttpProxyOptionHandler.h"
#include "config/IndexOutOptionHandler.h"
#include "config/IntegerRangeOptionHandler.h"
#include "config/LocalFilePathOptionHandler.h"
#include "config/NumberOptionHandler.h"
#include "config/OptimizeConcurrentDownloadsOptionHandler.h"
#include "config/Option.h"
#include "config/OptionHandlerException.h"
#include "config/ParameterOptionHandler.h"
#include "config/PrioritizePieceOptionHandler.h"
#include "config/UnitNumberOptionHandler.h"
#include "config/help_tags.h"
#include "config/prefs.h"

namespace quarn {

namespace {

// The handler's own complaint, or "" when the value was accepted.
std::string reject(const OptionHandler& h, Option& o, const std::string& value) {
  try {
    h.parse(o, value);
    return "";
  } catch (const OptionHandlerException& e) {
    EXPECT_EQ(error_code::OPTION_ERROR, e.getErrorCode());
    return e.getCause() ? e.getCause()->what() : e.what();
  }
}

struct Case {
  std::string value;
  std::string stored;  // expected stored text when accepted
  std::string error;   // expected message when rejected
};

void check(const OptionHandler& h, const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    Option o;
    auto error = reject(h, o, c.value);
    EXPECT_EQ(c.error, error) << h.getName() << " '" << c.value << "'";
    if (c.error.empty()) {
      EXPECT_EQ(c.stored, o.get(h.getPref())) << h.getName() << " '" << c.value << "'";
    }
  }
}

}  // namespace

TEST(OptionHandlerKindsTest, Boolean) {
  BooleanOptionHandler opt(PREF_QUIET, "", "", OptionHandler::ARG_OPTIONAL);
  check(opt, {{"true", "true", ""},
              {"false", "false", ""},
              {"", "true", ""},
              {"False", "", "quiet must be either 'true' or 'false'."},
              {"1", "", "quiet must be either 'true' or 'false'."}});
  BooleanOptionHandler req(PREF_SHOW_CONSOLE_READOUT, "", "", OptionHandler::ARG_REQUIRED);
  check(req, {{"", "", "show-console-readout must be either 'true' or 'false'."},
              {"false", "false", ""}});
  EXPECT_EQ("true, false", opt.createPossibleValuesString());
}

TEST(OptionHandlerKindsTest, Number) {
  NumberOptionHandler minOnly(PREF_SPLIT, "", "", 1, -1);
  check(minOnly, {{"0", "", "split must be greater than or equal to 1."},
                  {"abc", "", "Bad number abc"},
                  {"", "", "Bad number "},
                  {"007", "7", ""},
                  {"+5", "5", ""},
                  {"9223372036854775808", "", "Bad number 9223372036854775808"}});
  EXPECT_EQ("1-*", minOnly.createPossibleValuesString());
  NumberOptionHandler both(PREF_TIMEOUT, "", "", 1, 600);
  check(both, {{"601", "", "timeout must be between 1 and 600."}, {"600", "600", ""}});
  EXPECT_EQ("1-600", both.createPossibleValuesString());
  NumberOptionHandler maxOnly(PREF_TIMEOUT, "", "", -1, 10);
  check(maxOnly, {{"11", "", "timeout must be smaller than or equal to 10."}, {"-5", "-5", ""}});
  NumberOptionHandler none(PREF_TIMEOUT);
  EXPECT_EQ("*-*", none.createPossibleValuesString());
}

TEST(OptionHandlerKindsTest, UnitNumber) {
  UnitNumberOptionHandler h(PREF_MIN_SPLIT_SIZE, "", "", 1048576, 1073741824);
  check(h, {{"1M", "1048576", ""},
            {"1024M", "1073741824", ""},
            {"1K", "", "min-split-size must be between 1048576 and 1073741824."},
            {"-1", "", "Bad or negative value detected: -1"}});
  UnitNumberOptionHandler unbounded(PREF_DISK_CACHE, "", "", 0, -1);
  check(unbounded, {{"1K", "1024", ""}, {"0", "0", ""}});
}

TEST(OptionHandlerKindsTest, IntegerRange) {
  IntegerRangeOptionHandler h(PREF_LISTEN_PORT, "", "", 1024, 65535);
  check(h, {{"6881-6999", "6881-6999", ""},
            {"6881,6885", "6881,6885", ""},
            {"80", "", "listen-port must be between 1024 and 65535."},
            {"1023", "", "listen-port must be between 1024 and 65535."}});
  EXPECT_EQ("1024-65535", h.createPossibleValuesString());
  Option o;
  o.put(PREF_LISTEN_PORT, "7000");
  h.parse(o, "");
  EXPECT_EQ("7000", o.get(PREF_LISTEN_PORT));
}

TEST(OptionHandlerKindsTest, FloatNumber) {
  FloatNumberOptionHandler h(PREF_SEED_RATIO, "", "", 0.0, -1);
  check(h, {{"1.5", "1.5", ""},
            {"abc", "abc", ""},
            {"0.0", "0.0", ""},
            {"-0.5", "", "seed-ratio must be greater than or equal to 0.0."},
            {"nan", "", "seed-ratio must be greater than or equal to 0.0."}});
  EXPECT_EQ("0.0-*", h.createPossibleValuesString());
  FloatNumberOptionHandler both(PREF_SEED_RATIO, "", "", 1.0, 2.0);
  check(both, {{"3", "", "seed-ratio must be between 1.0 and 2.0."}});
}

TEST(OptionHandlerKindsTest, DefaultAndParameter) {
  DefaultOptionHandler secret(PREF_RPC_SECRET);
  secret.setAllowEmpty(false);
  check(secret, {{"", "", "Empty string is not allowed"}, {"tok", "tok", ""}});
  DefaultOptionHandler any(PREF_RPC_USER);
  check(any, {{"", "", ""}});
  ParameterOptionHandler p(PREF_FTP_TYPE, "", "", {"a", "b"});
  check(p, {{"a", "a", ""}, {"c", "", "ftp-type must be one of the following:'a' 'b' "}});
  EXPECT_EQ("a, b", p.createPossibleValuesString());
  ParameterOptionHandler empty(PREF_FTP_TYPE, "", "", {});
  check(empty, {{"x", "", "ftp-type must be one of the following:''"}});
}

TEST(OptionHandlerKindsTest, CumulativeCarriesTheParentValue) {
  CumulativeOptionHandler h(PREF_HEADER, "", "", "\n");
  auto parent = std::make_shared<Option>();
  h.parse(*parent, "a");
  Option child;
  child.setParent(parent);
  h.parse(child, "x");
  h.parse(child, "y");
  EXPECT_EQ("a\nx\ny\n", child.get(PREF_HEADER));
  EXPECT_EQ("a\n", parent->get(PREF_HEADER));
}

TEST(OptionHandlerKindsTest, IndexOut) {
  IndexOutOptionHandler h(PREF_INDEX_OUT);
  Option o;
  h.parse(o, "1=a/b");
  h.parse(o, "2=c");
  EXPECT_EQ("1=a/b\n2=c\n", o.get(PREF_INDEX_OUT));
  check(h, {{"x=a", "", "Bad path index"}, {"3=", "", "Path with index=3 is empty."}});
}

TEST(OptionHandlerKindsTest, Checksum) {
  ChecksumOptionHandler any(PREF_CHECKSUM);
  std::string sha1 = "sha-1=" + std::string(40, 'A');
  check(any, {{sha1, sha1, ""},
              {"sha-256=" + std::string(64, '0'), "sha-256=" + std::string(64, '0'), ""},
              {"sha-1=abc", "", "Unrecognized checksum"},
              {"nohash", "", "Unrecognized checksum"}});
  ChecksumOptionHandler limited(PREF_SSH_HOST_KEY_MD, "", {"sha-1", "md5"});
  check(limited,
        {{"sha-256=" + std::string(64, '0'), "", "Checksum type sha-256 is not acceptable"},
         {"md5=" + std::string(32, 'f'), "md5=" + std::string(32, 'f'), ""}});
}

TEST(OptionHandlerKindsTest, HostPort) {
  HostPortOptionHandler h(PREF_DHT_ENTRY_POINT, "", "", PREF_DHT_ENTRY_POINT_HOST,
                          PREF_DHT_ENTRY_POINT_PORT);
  Option o;
  h.parse(o, "router.example:6881");
  EXPECT_EQ("router.example:6881", o.get(PREF_DHT_ENTRY_POINT));
  EXPECT_EQ("router.example", o.get(PREF_DHT_ENTRY_POINT_HOST));
  EXPECT_EQ("6881", o.get(PREF_DHT_ENTRY_POINT_PORT));
  h.parse(o, "host");
  EXPECT_EQ("80", o.get(PREF_DHT_ENTRY_POINT_PORT));
  check(h, {{"host:x", "", "Unrecognized format"}});
}

TEST(OptionHandlerKindsTest, HttpProxy) {
  HttpProxyOptionHandler h(PREF_HTTP_PROXY, "", "");
  check(h, {{"proxy:3128", "http://proxy:3128/", ""},
            {"https://proxy", "http://proxy:443/", ""},
            {"ftp://proxy", "http://proxy:21/", ""},
            {"http://u:p@proxy", "http://u:p@proxy/", ""},
            {"", "", ""},
            {"http://proxy:x", "", "unrecognized proxy format"}});
  Option o;
  h.parse(o, "proxy");
  h.parse(o, "");
  EXPECT_TRUE(o.blank(PREF_HTTP_PROXY));
}

TEST(OptionHandlerKindsTest, LocalFilePath) {
  auto dir = std::filesystem::temp_directory_path() / ("quarn-lfp-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto file = dir / "f";
  std::ofstream(file) << "x";
  LocalFilePathOptionHandler stdinOk(PREF_INPUT_FILE, "", "", true);
  check(stdinOk, {{"-", "/dev/stdin", ""}});
  EXPECT_EQ("/path/to/file, -", stdinOk.createPossibleValuesString());
  LocalFilePathOptionHandler mustExist(PREF_TORRENT_FILE, "", "", false, 'T', true);
  check(mustExist, {{file.string(), file.string(), ""},
                    {dir.string(), "", "Is '" + dir.string() + "' a file?"}});
  EXPECT_NE("", reject(mustExist, *std::make_unique<Option>(), (dir / "missing").string()));
  EXPECT_EQ("/path/to/file", mustExist.createPossibleValuesString());
  LocalFilePathOptionHandler home(PREF_DIR, "", "", false, 0, false, "/path/to/directory");
  const char* oldHome = std::getenv("HOME");
  std::string saved = oldHome ? oldHome : "";
  setenv("HOME", "/home/q", 1);
  check(home, {{"${HOME}/dl/${HOME}", "/home/q/dl//home/q", ""}, {"-", "-", ""}});
  if (oldHome) {
    setenv("HOME", saved.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
  EXPECT_EQ("/path/to/directory", home.createPossibleValuesString());
  std::filesystem::remove_all(dir);
}

TEST(OptionHandlerKindsTest, PrioritizePiece) {
  PrioritizePieceOptionHandler h(PREF_BT_PRIORITIZE_PIECE);
  check(h, {{"head=1M,tail", "head=1M,tail", ""}, {"middle", "", "Unrecognized token middle"}});
}

TEST(OptionHandlerKindsTest, OptimizeConcurrentDownloads) {
  OptimizeConcurrentDownloadsOptionHandler h(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS);
  EXPECT_EQ(OptionHandler::ARG_OPTIONAL, h.getArgType());
  Option o;
  h.parse(o, "5.0:25");
  EXPECT_EQ("5.0", o.get(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFA));
  EXPECT_EQ("25", o.get(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFB));
  EXPECT_EQ("true", o.get(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS));
  const std::string form =
      "optimize-concurrent-downloads must be either 'true', 'false' or a pair numeric "
      "coefficients A and B under the form 'A:B'.";
  check(h, {{"", "true", ""},
            {"false", "false", ""},
            {"5", "", form},
            {"5:", "", form},
            {"x:1", "", "Bad number 'x'"},
            {"1:2x", "", "Bad number '2x'"},
            // Coefficients that are not finite would make the concurrency
            // formula meaningless.
            {"inf:1", "", "Bad number 'inf'"},
            {"1:nan", "", "Bad number 'nan'"},
            {"1e999:1", "", "Bad number '1e999'"},
            {" 1 : 2 ", "true", ""}});
}

TEST(OptionHandlerKindsTest, DeprecatedForwardsAndWarns) {
  auto wrapped =
      new BooleanOptionHandler(PREF_ENABLE_ASYNC_DNS6, "desc", "", OptionHandler::ARG_OPTIONAL);
  DeprecatedOptionHandler ignored(wrapped);
  EXPECT_TRUE(wrapped->hasTag(TAG_DEPRECATED));
  ignored.addTag(TAG_ADVANCED);
  ignored.setInitialOption(true);
  EXPECT_TRUE(wrapped->hasTag(TAG_ADVANCED));
  EXPECT_TRUE(wrapped->getInitialOption());
  EXPECT_EQ(PREF_ENABLE_ASYNC_DNS6, ignored.getPref());
  EXPECT_STREQ("desc", ignored.getDescription());
  Option o;
  ignored.parse(o, "true");
  EXPECT_FALSE(o.defined(PREF_ENABLE_ASYNC_DNS6));

  DeprecatedOptionHandler works(new DefaultOptionHandler(PREF_RPC_USER), nullptr, true, "msg");
  works.parse(o, "alice");
  EXPECT_EQ("alice", o.get(PREF_RPC_USER));

  DefaultOptionHandler replacement(PREF_RPC_SECRET);
  DeprecatedOptionHandler replaced(new DefaultOptionHandler(PREF_RPC_PASSWD), &replacement);
  replaced.parse(o, "pw");
  EXPECT_EQ("pw", o.get(PREF_RPC_SECRET));
  EXPECT_FALSE(o.defined(PREF_RPC_PASSWD));
}

}  // namespace quarn
