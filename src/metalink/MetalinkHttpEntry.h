#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// A mirror that an HTTP answer announces in a Link field.
struct MetalinkHttpEntry {
  std::string uri;
  // 1 is the best priority, 999999 the worst.
  int32_t pri = 999999;
  bool pref = false;
  // The mirror's location, lower case.
  std::string geo;

  void swap(MetalinkHttpEntry& other);
  // Preferred mirrors first, then ascending priority.
  bool operator<(const MetalinkHttpEntry& rhs) const;
};

void swap(MetalinkHttpEntry& a, MetalinkHttpEntry& b);

}  // namespace quarn
