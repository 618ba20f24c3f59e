#include "engine/ProtocolDetector.h"

#include <cstring>
#include <fstream>

#include "foundation/uri_split.h"

namespace quarn {

namespace {

// Whether the file could be read far enough to start with the prefix.
bool startsWith(const std::string& path, const char* prefix) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  const size_t length = std::strlen(prefix);
  std::string head(length, '\0');
  in.read(head.data(), static_cast<std::streamsize>(length));
  return static_cast<size_t>(in.gcount()) == length && head == prefix;
}

}  // namespace

bool ProtocolDetector::isStreamProtocol(const std::string& uri) const {
  return uri_split(nullptr, uri.c_str()) == 0;
}

bool ProtocolDetector::guessTorrentFile(const std::string& path) const {
  return startsWith(path, "d");
}

bool ProtocolDetector::guessTorrentMagnet(const std::string& /*uri*/) const {
  // A magnet link is recognised by reading it as one, which BitTorrent
  // provides; until then no argument is taken for a magnet link.
  return false;
}

bool ProtocolDetector::guessMetalinkFile(const std::string& path) const {
  return startsWith(path, "<?xml");
}

}  // namespace quarn
