#include "config/feature_config.h"

#include <ares_version.h>
#include <libssh2.h>
#include <libxml/xmlversion.h>
#include <openssl/opensslv.h>
#include <sqlite3.h>
#include <sys/utsname.h>
#include <zlib.h>

#include <cstring>

#include "foundation/fmt.h"

#ifndef QUARN_BUILD_TARGET
#define QUARN_BUILD_TARGET "unknown"
#endif

namespace quarn {

namespace {

const char* const FEATURES[] = {
    "Async DNS",      "BitTorrent", "Firefox3 Cookie", "GZip", "HTTPS",
    "Message Digest", "Metalink",   "XML-RPC",         "SFTP",
};
constexpr int FEATURE_COUNT = sizeof(FEATURES) / sizeof(FEATURES[0]);

}  // namespace

std::string featureSummary() {
  std::string s;
  for (int i = 0; i < FEATURE_COUNT; ++i) {
    if (i) {
      s += ", ";
    }
    s += FEATURES[i];
  }
  return s;
}

const char* strSupportedFeature(int index) {
  return index >= 0 && index < FEATURE_COUNT ? FEATURES[index] : nullptr;
}

std::string usedLibs() {
  std::string res;
  res += "zlib/" ZLIB_VERSION " ";
  res += "libxml2/" LIBXML_DOTTED_VERSION " ";
  res += "sqlite3/" SQLITE_VERSION " ";
  // Releases of the 3.x series carry no letter; a pre-release shows its tag.
  res += fmt("OpenSSL/%ld.%ld.%ld", static_cast<long>(OPENSSL_VERSION_MAJOR),
             static_cast<long>(OPENSSL_VERSION_MINOR), static_cast<long>(OPENSSL_VERSION_PATCH));
  res += OPENSSL_VERSION_PRE_RELEASE " ";
  res += "c-ares/" ARES_VERSION_STR " ";
  res += "libssh2/" LIBSSH2_VERSION " ";
  res.pop_back();
  return res;
}

std::string usedCompilerAndPlatform() {
  std::string s;
#if defined(__clang__)
  s += "clang " __clang_version__;
#elif defined(__GNUC__)
  s += "GNU C++ " __VERSION__;
#else
  s += "unknown compiler";
#endif
  s += "\n  built by  " QUARN_BUILD_TARGET;
  s += "\n  on        " __DATE__ " " __TIME__;
  return s;
}

std::string getOperatingSystemInfo() {
  struct utsname name;
  if (uname(&name) == -1) {
    return "Unknown system";
  }
  if (std::strstr(name.version, name.sysname) && std::strstr(name.version, name.release) &&
      std::strstr(name.version, name.machine)) {
    return name.version;
  }
  return fmt("%s %s %s %s", name.sysname, name.release, name.version, name.machine);
}

}  // namespace quarn
