#include "engine/InorderURISelector.h"

#include "storage/FileEntry.h"

namespace quarn {

std::string InorderURISelector::select(FileEntry* fileEntry, const UsedHosts& /*usedHosts*/) {
  auto& uris = fileEntry->getRemainingUris();
  if (uris.empty()) {
    return "";
  }
  std::string uri = std::move(uris.front());
  uris.pop_front();
  return uri;
}

}  // namespace quarn
