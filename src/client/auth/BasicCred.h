#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// An HTTP Basic credential cached for a host, port and directory.
class BasicCred {
 public:
  // The path is stored ending in "/".
  BasicCred(std::string user, std::string password, std::string host, uint16_t port,
            std::string path, bool activated = false);

  void activate() { activated = true; }
  bool isActivated() const { return activated; }

  // Same host, port and path.
  bool operator==(const BasicCred& other) const;
  // Host and port ascending, then path descending, so that for one host and
  // port the longer of two nested paths comes first.
  bool operator<(const BasicCred& other) const;

  static std::string normalizePath(std::string path);

  std::string user;
  std::string password;
  std::string host;
  uint16_t port;
  std::string path;
  bool activated;
};

}  // namespace quarn
