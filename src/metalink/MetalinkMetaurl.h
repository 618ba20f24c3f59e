#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// A link from a Metalink file to metadata of another kind that describes the
// same data; only torrents are kept.
class MetalinkMetaurl {
 public:
  MetalinkMetaurl() = default;
  MetalinkMetaurl(std::string url, std::string mediatype, std::string name, int32_t priority)
      : url(std::move(url)),
        mediatype(std::move(mediatype)),
        name(std::move(name)),
        priority(priority) {}

  std::string url;
  std::string mediatype;
  // The file's path inside the torrent; empty when not given.
  std::string name;
  int32_t priority = 999999;
};

}  // namespace quarn
