#pragma once

#include "storage/URISelector.h"

namespace quarn {

// Takes the URIs in their given order.
class InorderURISelector : public URISelector {
 public:
  std::string select(FileEntry* fileEntry, const UsedHosts& usedHosts) override;
};

}  // namespace quarn
