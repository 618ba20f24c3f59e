#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// One mirror URL of a file described by a Metalink document.
class MetalinkResource {
 public:
  // The numbering is stable: the type names are indexed by it.
  enum TYPE {
    TYPE_FTP = 0,
    TYPE_HTTP,
    TYPE_HTTPS,
    TYPE_BITTORRENT,
    TYPE_NOT_SUPPORTED,
    TYPE_UNKNOWN
  };

  static const char* getTypeString(TYPE type);
  // ftp, http, https and bittorrent mirrors can be used.
  static bool isSupported(TYPE type) { return type <= TYPE_BITTORRENT; }

  std::string url;
  TYPE type = TYPE_UNKNOWN;
  std::string location;
  // 1 is the best priority, 999999 the worst.
  int32_t priority = 999999;
  // -1: the document sets no limit.
  int32_t maxConnections = -1;
};

}  // namespace quarn
