#pragma once

#include <string>

namespace quarn {

// Guesses what a command-line argument names: a URI, a torrent file, a
// magnet link or a Metalink file. Unreadable files are simply not matched.
class ProtocolDetector {
 public:
  bool isStreamProtocol(const std::string& uri) const;
  // The file starts like a bencoded dictionary.
  bool guessTorrentFile(const std::string& path) const;
  bool guessTorrentMagnet(const std::string& uri) const;
  // The file starts like an XML document.
  bool guessMetalinkFile(const std::string& path) const;
};

}  // namespace quarn
