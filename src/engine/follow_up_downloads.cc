#include "engine/follow_up_downloads.h"

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"

namespace quarn {
void appendFollowUpDownloads(std::vector<std::shared_ptr<RequestGroup>>& groups,
                             const std::vector<std::shared_ptr<RequestGroup>>& newGroups,
                             RequestGroup* requestGroup,
                             const std::shared_ptr<MetadataInfo>& metadataInfo) {
  requestGroup->followedBy(newGroups.begin(), newGroups.end());
  const auto* rgman = requestGroup->getRequestGroupMan();
  const bool pause =
      rgman && rgman->isRpcEnabled() && requestGroup->getOption()->getAsBool(PREF_PAUSE_METADATA);
  for (const auto& group : newGroups) {
    group->following(requestGroup->getGID());
    if (metadataInfo) {
      group->setMetadataInfo(metadataInfo);
    }
    if (pause) {
      group->setPauseRequested(true);
    }
  }
  groups.insert(groups.end(), newGroups.begin(), newGroups.end());
}

}  // namespace quarn
