#include "metalink/MetalinkHttpEntry.h"

#include <utility>

namespace quarn {

void MetalinkHttpEntry::swap(MetalinkHttpEntry& other) {
  using std::swap;
  if (this != &other) {
    swap(uri, other.uri);
    swap(pri, other.pri);
    swap(pref, other.pref);
    swap(geo, other.geo);
  }
}

bool MetalinkHttpEntry::operator<(const MetalinkHttpEntry& rhs) const {
  if (pref != rhs.pref) {
    return pref;
  }
  return pri < rhs.pri;
}

void swap(MetalinkHttpEntry& a, MetalinkHttpEntry& b) {
  a.swap(b);
}

}  // namespace quarn
