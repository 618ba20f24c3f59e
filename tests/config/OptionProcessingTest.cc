#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "config/Option.h"
#include "config/option_processing.h"
#include "config/prefs.h"

namespace quarn {

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

int process(Option& option, const Pairs& pairs) {
  std::vector<std::string> uris;
  return option_processing(option, false, uris, 0, nullptr, pairs);
}

}  // namespace

TEST(OptionProcessingTest, EmbeddedPairsLandOnTopOfDefaults) {
  unsetenv("http_proxy");
  Option option;
  ASSERT_EQ(0, process(option, {{"no-conf", "true"}, {"max-tries", "9"}, {"header", "A: b"}}));
  EXPECT_EQ("9", option.get(PREF_MAX_TRIES));
  EXPECT_TRUE(option.definedLocal(PREF_MAX_TRIES));
  // Defaults sit in the parent layer, and embedded runs are always quiet.
  ASSERT_TRUE(option.getParent());
  EXPECT_EQ("5", option.getParent()->get(PREF_MAX_TRIES));
  EXPECT_FALSE(option.definedLocal(PREF_TIMEOUT));
  EXPECT_EQ("60", option.get(PREF_TIMEOUT));
  EXPECT_TRUE(option.getAsBool(PREF_QUIET));
  // The pairs are applied twice in all (once to find no-conf), but into a
  // scratch layer the first time, so a cumulative option holds each value once.
  EXPECT_EQ("A: b\n", option.get(PREF_HEADER));
}

TEST(OptionProcessingTest, RejectedPairGivesOptionError) {
  Option option;
  EXPECT_EQ(28, process(option, {{"no-conf", "true"}, {"split", "0"}}));
}

TEST(OptionProcessingTest, ProxyVariableBetweenConfigurationAndCommandLine) {
  setenv("http_proxy", "proxy.example:3128", 1);
  Option fromEnv;
  ASSERT_EQ(0, process(fromEnv, {{"no-conf", "true"}}));
  EXPECT_EQ("http://proxy.example:3128/", fromEnv.get(PREF_HTTP_PROXY));
  Option overridden;
  ASSERT_EQ(0, process(overridden, {{"no-conf", "true"}, {"http-proxy", "other:8080"}}));
  EXPECT_EQ("http://other:8080/", overridden.get(PREF_HTTP_PROXY));
  setenv("http_proxy", "http://bad:port", 1);
  Option bad;
  EXPECT_EQ(0, process(bad, {{"no-conf", "true"}}));
  EXPECT_FALSE(bad.defined(PREF_HTTP_PROXY));
  unsetenv("http_proxy");
}

TEST(OptionProcessingTest, LayersFromConfigurationFileUp) {
  auto conf = std::filesystem::temp_directory_path() /
              ("quarn-conf-" + std::to_string(::getpid()) + ".conf");
  std::ofstream(conf) << "http-proxy=conf-proxy:1\nheader=A: 1\ntimeout=7\n";
  setenv("http_proxy", "env-proxy:3", 1);
  Option option;
  ASSERT_EQ(0, process(option, {{"conf-path", conf.string()}, {"header", "B: 2"}}));
  EXPECT_EQ("7", option.get(PREF_TIMEOUT));
  EXPECT_EQ("http://env-proxy:3/", option.get(PREF_HTTP_PROXY));
  EXPECT_EQ("A: 1\nB: 2\n", option.get(PREF_HEADER));
  Option top;
  ASSERT_EQ(0, process(top, {{"conf-path", conf.string()}, {"http-proxy", "cli:2"}}));
  EXPECT_EQ("http://cli:2/", top.get(PREF_HTTP_PROXY));
  unsetenv("http_proxy");
  std::filesystem::remove(conf);
}

TEST(OptionProcessingTest, MissingOrBadConfigurationFile) {
  auto conf = std::filesystem::temp_directory_path() /
              ("quarn-bad-" + std::to_string(::getpid()) + ".conf");
  Option missing;
  testing::internal::CaptureStderr();
  EXPECT_EQ(1, process(missing, {{"conf-path", conf.string()}}));
  auto report = testing::internal::GetCapturedStderr();
  EXPECT_EQ(0u, report.find("Configuration file " + conf.string() +
                            " is not found.\nUsage: quarnc [OPTIONS] ["))
      << report;
  EXPECT_NE(std::string::npos, report.find("Printing options tagged with '#help'.")) << report;

  std::ofstream(conf) << "timeout=7\nsplit=0\nmax-tries=3\n";
  Option bad;
  testing::internal::CaptureStderr();
  EXPECT_EQ(28, process(bad, {{"conf-path", conf.string()}, {"retry-wait", "4"}}));
  report = testing::internal::GetCapturedStderr();
  EXPECT_EQ(0u, report.find("Parse error in " + conf.string() + "\nException: [")) << report;
  EXPECT_NE(std::string::npos, report.find("'--split'")) << report;
  EXPECT_NE(std::string::npos, report.find("\nUsage:\n -s, --split=N")) << report;
  // Reading stops at the bad line, and the command line is not applied.
  EXPECT_FALSE(bad.defined(PREF_RETRY_WAIT));
  EXPECT_FALSE(bad.getParent());
  std::filesystem::remove(conf);
}

TEST(OptionProcessingTest, DeferredInputGivesWayToSaveSession) {
  Option option;
  ASSERT_EQ(0, process(option, {{"no-conf", "true"},
                                {"deferred-input", "true"},
                                {"save-session", "/tmp/session"}}));
  EXPECT_FALSE(option.defined(PREF_DEFERRED_INPUT));
  EXPECT_FALSE(option.getParent()->defined(PREF_DEFERRED_INPUT));
}

}  // namespace quarn
