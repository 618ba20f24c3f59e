#include "foundation/Logger.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "TempDir.h"
#include "foundation/DlAbortEx.h"
#include "foundation/console.h"

namespace quarn {

namespace {

std::string readRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Captures what reaches standard output (a plain file, so never a terminal).
class StdoutCapture {
 public:
  explicit StdoutCapture(const std::string& path) : path_(path) {
    fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    FILE* f = fopen(path.c_str(), "wb");
    dup2(fileno(f), STDOUT_FILENO);
    fclose(f);
  }
  ~StdoutCapture() { restore(); }
  std::string finish() {
    restore();
    return readRaw(path_);
  }

 private:
  void restore() {
    if (saved_ != -1) {
      fflush(stdout);
      dup2(saved_, STDOUT_FILENO);
      ::close(saved_);
      saved_ = -1;
    }
  }
  std::string path_;
  int saved_ = -1;
};

}  // namespace

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LogFactory::release();
    LogFactory::setLogFile(logPath_);
    LogFactory::setLogLevel(Logger::Q_DEBUG);
    LogFactory::setConsoleLogLevel(Logger::Q_NOTICE);
    LogFactory::consoleOutput_ = true;
    LogFactory::setColorOutput(true);
  }
  void TearDown() override {
    LogFactory::release();
    LogFactory::setLogFile("");
  }

  TempDir dir_;
  std::string logPath_ = dir_.file("log");
};

TEST_F(LoggerTest, FileRecordFormatWithTrace) {
  DlAbortEx ex("Src.cc", 7, "inner");
  {
    StdoutCapture capture(dir_.file("out"));
    QLOG_INFO("hello");
    QLOG_DEBUG_EX(std::string("with trace"), ex);
  }
  std::string log = readRaw(logPath_);
  std::regex line(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6} \[INFO\] \[LoggerTest\.cc:\d+\] hello\n)"
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6} \[DEBUG\] \[LoggerTest\.cc:\d+\] with trace\n)"
      R"(Exception: \[Src\.cc:7\] errorCode=1 inner\n)");
  EXPECT_TRUE(std::regex_match(log, line)) << log;
}

TEST_F(LoggerTest, ConsoleGetsOnlyItsLevelsWithoutColourInAFile) {
  StdoutCapture capture(dir_.file("out"));
  QLOG_INFO("info only in file");
  QLOG_WARN("warned");
  QLOG_AT(static_cast<Logger::LEVEL>(32), "odd level");
  std::string out = capture.finish();
  EXPECT_EQ(std::string::npos, out.find("info only in file"));
  EXPECT_EQ(std::string::npos, out.find('\033'));
  std::regex records(R"(\n\d\d/\d\d \d\d:\d\d:\d\d \[WARN\] warned\n)"
                     R"(\n\d\d/\d\d \d\d:\d\d:\d\d \[\] odd level\n)");
  EXPECT_TRUE(std::regex_match(out, records)) << out;
  EXPECT_NE(std::string::npos, readRaw(logPath_).find("[INFO] [LoggerTest.cc:"));
}

TEST_F(LoggerTest, DisabledLevelDoesNotBuildTheMessage) {
  LogFactory::setLogFile("");
  int built = 0;
  auto message = [&built]() {
    ++built;
    return std::string("m");
  };
  QLOG_INFO(message());
  EXPECT_EQ(0, built);
  EXPECT_FALSE(LogFactory::getInstance()->levelEnabled(Logger::Q_INFO));
  EXPECT_TRUE(LogFactory::getInstance()->levelEnabled(Logger::Q_NOTICE));
}

TEST_F(LoggerTest, LevelNamesAreCaseSensitive) {
  struct Case {
    const char* name;
    Logger::LEVEL level;
  } cases[] = {{"debug", Logger::Q_DEBUG}, {"info", Logger::Q_INFO},   {"notice", Logger::Q_NOTICE},
               {"warn", Logger::Q_WARN},   {"error", Logger::Q_ERROR}, {"WARN", Logger::Q_NOTICE},
               {"bogus", Logger::Q_NOTICE}};
  for (const auto& c : cases) {
    LogFactory::release();
    LogFactory::setLogLevel(c.name);
    LogFactory::consoleOutput_ = false;
    const auto& logger = LogFactory::getInstance();
    EXPECT_TRUE(logger->fileLogEnabled(c.level)) << c.name;
    if (c.level > Logger::Q_DEBUG) {
      EXPECT_FALSE(logger->fileLogEnabled(static_cast<Logger::LEVEL>(c.level >> 1))) << c.name;
    }
  }
}

TEST_F(LoggerTest, NoFileWhenNameIsEmpty) {
  LogFactory::setLogFile("");
  LogFactory::reconfigure();
  EXPECT_FALSE(LogFactory::getInstance()->fileLogEnabled(Logger::Q_ERROR));
}

TEST_F(LoggerTest, UnopenableFileRaisesAndReconfigureLeavesNoFile) {
  LogFactory::getInstance();
  LogFactory::setLogFile(dir_.file("no/such/log"));
  try {
    LogFactory::reconfigure();
    FAIL();
  } catch (const DlAbortEx& e) {
    EXPECT_EQ("Failed to open the file " + dir_.file("no/such/log") +
                  ", cause: No such file or directory",
              std::string(e.what()));
  }
  EXPECT_FALSE(LogFactory::getInstance()->fileLogEnabled(Logger::Q_ERROR));
  LogFactory::release();
  EXPECT_THROW(LogFactory::getInstance(), DlAbortEx);
}

TEST_F(LoggerTest, DashSharesStandardOutput) {
  LogFactory::setLogFile("-");
  StdoutCapture capture(dir_.file("out"));
  QLOG_NOTICE("both");
  std::string out = capture.finish();
  EXPECT_NE(std::string::npos, out.find("[NOTICE] [LoggerTest.cc:"));
  EXPECT_NE(std::string::npos, out.find("[NOTICE] both"));
}

TEST(ConsoleTest, SuppressedConsoleSwallowsEverything) {
  EXPECT_EXIT(
      {
        global::initConsole(true);
        bool quiet = !global::cout()->supportsColor() && global::cout() == global::cerr() &&
                     global::cout()->printf("x") == 0;
        LogFactory::setLogFile("");
        LogFactory::setColorOutput(true);
        QLOG_ERROR("nothing shows");
        exit(quiet ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// Runs in a fresh process whose standard output is a terminal, so that the
// console sinks are made over it; exits 0 when colour was used only as asked.
void logOnTerminal() {
  int master, slave;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    exit(2);
  }
  dup2(slave, STDOUT_FILENO);
  global::initConsole(false);
  LogFactory::setLogFile("");
  LogFactory::setColorOutput(true);
  QLOG_WARN("coloured");
  LogFactory::setColorOutput(false);
  LogFactory::reconfigure();
  QLOG_ERROR("plain");
  std::string out;
  char buf[1024];
  while (out.find("plain") == std::string::npos) {
    ssize_t r = read(master, buf, sizeof(buf));
    if (r <= 0) {
      exit(3);
    }
    out.append(buf, r);
  }
  bool ok = global::cout()->supportsColor() &&
            out.find("[\033[1;33mWARN\33[0m] coloured") != std::string::npos &&
            out.find("[ERROR] plain") != std::string::npos;
  exit(ok ? 0 : 1);
}

TEST(ConsoleTest, ColourOnlyOnATerminalAndWhenEnabled) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(logOnTerminal(), ::testing::ExitedWithCode(0), "");
}

}  // namespace quarn
