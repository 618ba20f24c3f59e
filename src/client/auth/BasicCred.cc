#include "client/auth/BasicCred.h"

namespace quarn {

std::string BasicCred::normalizePath(std::string path) {
  if (path.empty() || path.back() != '/') {
    path += '/';
  }
  return path;
}

BasicCred::BasicCred(std::string user, std::string password, std::string host, uint16_t port,
                     std::string path, bool activated)
    : user(std::move(user)),
      password(std::move(password)),
      host(std::move(host)),
      port(port),
      path(normalizePath(std::move(path))),
      activated(activated) {}

bool BasicCred::operator==(const BasicCred& other) const {
  return host == other.host && port == other.port && path == other.path;
}

bool BasicCred::operator<(const BasicCred& other) const {
  if (host != other.host) {
    return host < other.host;
  }
  if (port != other.port) {
    return port < other.port;
  }
  return path > other.path;
}

}  // namespace quarn
