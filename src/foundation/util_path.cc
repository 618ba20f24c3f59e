#include "foundation/util_path.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "foundation/BufferedFile.h"
#include "foundation/DlAbortEx.h"
#include "foundation/File.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_chars.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"

namespace quarn {
namespace util {

namespace {

bool isControlByte(unsigned char c) {
  return c < 0x20 || c == 0x7f;
}

// A component that would name the directory itself or its parent.
bool namesDirectoryItself(const std::string& name) {
  return name.empty() || name == "." || name == "..";
}

std::string legacyOrXDGPath(const std::string& legacySuffix, const char* xdgVariable,
                            const std::string& xdgFallbackSuffix, const std::string& xdgSuffix) {
  std::string home = getHomeDir();
  std::string legacy = home + legacySuffix;
  if (File(legacy).exists()) {
    return legacy;
  }
  return getXDGDir(xdgVariable, home + xdgFallbackSuffix) + xdgSuffix;
}

}  // namespace

std::string applyDir(const std::string& dir, const std::string& relPath) {
  if (dir.empty()) {
    return "./" + relPath;
  }
  if (dir == "/") {
    return "/" + relPath;
  }
  return dir + "/" + relPath;
}

std::string escapePath(const std::string& s) {
  std::string d;
  for (unsigned char c : s) {
    if (isControlByte(c)) {
      d += fmt("%%%02X", c);
    } else {
      d += static_cast<char>(c);
    }
  }
  return d;
}

std::string fixTaintedBasename(const std::string& src) {
  return escapePath(replace(src, "/", "%2F"));
}

std::string createSafePath(const std::string& filename) {
  std::string name =
      isUtf8(filename) ? fixTaintedBasename(filename) : escapePath(percentEncode(filename));
  if (namesDirectoryItself(name)) {
    // Encoded dots keep the name readable while no longer naming "." or "..";
    // an empty name gets a placeholder so the result is a file inside dir.
    return name.empty() ? "_" : replace(name, ".", "%2E");
  }
  return name;
}

std::string createSafePath(const std::string& dir, const std::string& filename) {
  return applyDir(dir, createSafePath(filename));
}

bool detectDirTraversal(const std::string& s) {
  if (s.empty()) {
    return false;
  }
  for (unsigned char c : s) {
    if (isControlByte(c)) {
      return true;
    }
  }
  return s == "." || s == ".." || s.starts_with('/') || s.starts_with("./") ||
         s.starts_with("../") || s.find("/../") != std::string::npos ||
         s.find("/./") != std::string::npos || s.ends_with('/') || s.ends_with("/.") ||
         s.ends_with("/..");
}

void mkdirs(const std::string& dirpath) {
  File dir(dirpath);
  if (!dir.mkdirs()) {
    int errNum = errno;
    if (!dir.isDir()) {
      throw DL_ABORT_EX(errNum,
                        fmt(_("Failed to make the directory %s, cause: %s"), dirpath.c_str(),
                            safeStrerror(errNum).c_str()),
                        error_code::DIR_CREATE_ERROR);
    }
  }
}

std::string getHomeDir() {
  const char* home = getenv("HOME");
  if (home) {
    return home;
  }
  passwd* pw = getpwuid(geteuid());
  if (pw && pw->pw_dir) {
    return pw->pw_dir;
  }
  return "";
}

std::string getXDGDir(const std::string& environmentVariable, const std::string& fallbackDir) {
  const char* p = getenv(environmentVariable.c_str());
  if (p && p[0] == '/') {
    return p;
  }
  return fallbackDir;
}

std::string getConfigFile() {
  return legacyOrXDGPath("/.quarn/quarn.conf", "XDG_CONFIG_HOME", "/.config", "/quarn/quarn.conf");
}

std::string getDHTFile(bool ipv6) {
  const char* name = ipv6 ? "/dht6.dat" : "/dht.dat";
  return legacyOrXDGPath(std::string("/.quarn") + name, "XDG_CACHE_HOME", "/.cache",
                         std::string("/quarn") + name);
}

bool saveAs(const std::string& filename, const std::string& data, bool overwrite) {
  if (!overwrite && File(filename).exists()) {
    return false;
  }
  std::string tempFilename = filename + "__temp";
  {
    BufferedFile fp(tempFilename.c_str(), "wb");
    if (!fp) {
      return false;
    }
    if (fp.write(data.data(), data.size()) != data.size()) {
      return false;
    }
    if (fp.close() == EOF) {
      return false;
    }
  }
  return File(tempFilename).renameTo(filename);
}

std::pair<size_t, std::string> parseIndexPath(const std::string& line) {
  auto p = divide(line.begin(), line.end(), '=');
  uint32_t index;
  if (!parseUIntNoThrow(index, std::string(p.first.first, p.first.second))) {
    throw DL_ABORT_EX("Bad path index");
  }
  if (p.second.first == p.second.second) {
    throw DL_ABORT_EX(fmt("Path with index=%u is empty.", index));
  }
  return {index, std::string(p.second.first, p.second.second)};
}

std::vector<std::pair<size_t, std::string>> createIndexPaths(std::istream& i) {
  std::vector<std::pair<size_t, std::string>> indexPaths;
  std::string line;
  while (std::getline(i, line)) {
    indexPaths.push_back(parseIndexPath(line));
  }
  return indexPaths;
}

}  // namespace util
}  // namespace quarn
