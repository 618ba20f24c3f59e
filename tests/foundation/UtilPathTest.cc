#include "foundation/util_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "foundation/DlAbortEx.h"
#include "foundation/TempDir.h"

namespace quarn {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) {
      old_ = old;
    }
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(UtilPathTest, ApplyDir) {
  EXPECT_EQ("./a", util::applyDir("", "a"));
  EXPECT_EQ("/a", util::applyDir("/", "a"));
  EXPECT_EQ("/tmp//a", util::applyDir("/tmp/", "a"));
  EXPECT_EQ("d/a/b", util::applyDir("d", "a/b"));
}

TEST(UtilPathTest, EscapePathAndTaintedBasename) {
  EXPECT_EQ("a%00b%1F%7F~", util::escapePath(std::string("a\0b\x1f\x7f~", 6)));
  EXPECT_EQ("a%2Fb%0A", util::fixTaintedBasename("a/b\n"));
}

TEST(UtilPathTest, CreateSafePath) {
  struct Case {
    std::string name;
    std::string safe;
  } cases[] = {
      {"a/b", "a%2Fb"},
      {"a\tb", "a%09b"},
      {"a\xff", "a%FF"},
      {"caf\xc3\xa9.txt", "caf\xc3\xa9.txt"},
      {"../../etc/passwd", "..%2F..%2Fetc%2Fpasswd"},
      {"..hidden", "..hidden"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.safe, util::createSafePath(c.name)) << c.name;
  }
  EXPECT_EQ("/dl/a%2Fb", util::createSafePath("/dl", "a/b"));
}

// The name is one component inside the download directory, so it must not
// name the directory itself or its parent, whatever the input.
TEST(UtilPathTest, CreateSafePathNeverNamesDirectoryOrParent) {
  for (const char* name : {"", ".", ".."}) {
    std::string safe = util::createSafePath(name);
    EXPECT_FALSE(safe.empty()) << name;
    EXPECT_NE(".", safe);
    EXPECT_NE("..", safe);
    EXPECT_EQ(std::string::npos, safe.find('/'));
    std::string joined = util::createSafePath("/dl", name);
    EXPECT_TRUE(joined.starts_with("/dl/")) << joined;
    EXPECT_FALSE(util::detectDirTraversal(joined.substr(4))) << joined;
  }
  EXPECT_EQ("%2E", util::createSafePath("."));
  EXPECT_EQ("%2E%2E", util::createSafePath(".."));
}

TEST(UtilPathTest, DetectDirTraversal) {
  for (const char* unsafe :
       {"a/../b", "../a", "./a", "/a", "a/", "a/.", "..", ".", "a/..", "a/./b", "a\nb", "\x7f"}) {
    EXPECT_TRUE(util::detectDirTraversal(unsafe)) << unsafe;
  }
  for (const char* safe : {"a..b", ".hidden", "a/b", "", "a/.b", "a/..b/c", "...", "a/b.."}) {
    EXPECT_FALSE(util::detectDirTraversal(safe)) << safe;
  }
}

TEST(UtilPathTest, MkdirsCreatesParentsAndAcceptsExisting) {
  TempDir tmp;
  std::string dir = tmp.file("a/b/c");
  util::mkdirs(dir);
  struct stat st;
  ASSERT_EQ(0, stat(dir.c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_NO_THROW(util::mkdirs(dir));
}

TEST(UtilPathTest, MkdirsFailsBelowAFile) {
  TempDir tmp;
  writeFile(tmp.file("f"), "x");
  try {
    util::mkdirs(tmp.file("f/sub"));
    FAIL() << "no exception";
  } catch (const DlAbortEx& e) {
    EXPECT_EQ(error_code::DIR_CREATE_ERROR, e.getErrorCode());
    EXPECT_NE(0, e.getErrNum());
    EXPECT_TRUE(std::string(e.what()).starts_with("Failed to make the directory " +
                                                  tmp.file("f/sub") + ", cause: "))
        << e.what();
  }
}

TEST(UtilPathTest, HomeAndXDGDirectories) {
  ScopedEnv home("HOME", "/home/someone");
  EXPECT_EQ("/home/someone", util::getHomeDir());
  {
    ScopedEnv xdg("XDG_TEST_DIR", "rel/dir");
    EXPECT_EQ("/fallback", util::getXDGDir("XDG_TEST_DIR", "/fallback"));
  }
  {
    ScopedEnv xdg("XDG_TEST_DIR", "/abs/dir");
    EXPECT_EQ("/abs/dir", util::getXDGDir("XDG_TEST_DIR", "/fallback"));
  }
  ScopedEnv unset("XDG_TEST_DIR", nullptr);
  EXPECT_EQ("/fallback", util::getXDGDir("XDG_TEST_DIR", "/fallback"));
}

TEST(UtilPathTest, DefaultFileLocations) {
  TempDir tmp;
  ScopedEnv home("HOME", tmp.path().c_str());
  ScopedEnv config("XDG_CONFIG_HOME", nullptr);
  ScopedEnv cache("XDG_CACHE_HOME", "/cache");
  EXPECT_EQ(tmp.path() + "/.config/quarn/quarn.conf", util::getConfigFile());
  EXPECT_EQ("/cache/quarn/dht.dat", util::getDHTFile(false));
  EXPECT_EQ("/cache/quarn/dht6.dat", util::getDHTFile(true));

  util::mkdirs(tmp.file(".quarn"));
  writeFile(tmp.file(".quarn/quarn.conf"), "");
  writeFile(tmp.file(".quarn/dht6.dat"), "");
  EXPECT_EQ(tmp.path() + "/.quarn/quarn.conf", util::getConfigFile());
  EXPECT_EQ("/cache/quarn/dht.dat", util::getDHTFile(false));
  EXPECT_EQ(tmp.path() + "/.quarn/dht6.dat", util::getDHTFile(true));
}

TEST(UtilPathTest, SaveAsReplacesThroughTemporaryFile) {
  TempDir tmp;
  std::string path = tmp.file("out");
  EXPECT_TRUE(util::saveAs(path, std::string("new\0data", 8)));
  EXPECT_EQ(std::string("new\0data", 8), readFile(path));
  EXPECT_FALSE(util::saveAs(path, "other"));
  EXPECT_EQ(std::string("new\0data", 8), readFile(path));
  EXPECT_TRUE(util::saveAs(path, "other", true));
  EXPECT_EQ("other", readFile(path));
  struct stat st;
  EXPECT_NE(0, stat((path + "__temp").c_str(), &st));
  EXPECT_FALSE(util::saveAs(tmp.file("missing/out"), "x"));
}

TEST(UtilPathTest, ParseIndexPath) {
  EXPECT_EQ(std::make_pair(size_t{3}, std::string("a/b")), util::parseIndexPath(" 3 = a/b "));
  struct Case {
    const char* line;
    const char* message;
  } cases[] = {
      {"3=", "Path with index=3 is empty."},
      {"3", "Path with index=3 is empty."},
      {"x=a", "Bad path index"},
      {"-1=a", "Bad path index"},
      {"=a", "Bad path index"},
  };
  for (const auto& c : cases) {
    try {
      util::parseIndexPath(c.line);
      ADD_FAILURE() << "no exception for " << c.line;
    } catch (const DlAbortEx& e) {
      EXPECT_STREQ(c.message, e.what()) << c.line;
    }
  }
}

TEST(UtilPathTest, CreateIndexPaths) {
  std::istringstream in("1=a\n2=b/c\r\n");
  auto paths = util::createIndexPaths(in);
  ASSERT_EQ(2u, paths.size());
  EXPECT_EQ(std::make_pair(size_t{2}, std::string("b/c")), paths[1]);
  std::istringstream withEmptyLine("1=a\n\n2=b\n");
  EXPECT_THROW(util::createIndexPaths(withEmptyLine), DlAbortEx);
}

}  // namespace
}  // namespace quarn
