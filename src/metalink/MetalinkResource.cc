#include "metalink/MetalinkResource.h"

namespace quarn {

namespace {

constexpr const char* TYPE_NAMES[] = {"ftp",        "http",          "https",
                                      "bittorrent", "not_supported", "unknown"};

}  // namespace

const char* MetalinkResource::getTypeString(TYPE type) {
  return TYPE_NAMES[type];
}

}  // namespace quarn
