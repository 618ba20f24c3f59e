#pragma once

#include <memory>
#include <vector>

namespace quarn {

class MetadataInfo;
class RequestGroup;

// Appends to groups the downloads that a finished download (a torrent or
// Metalink file, a magnet link's metadata) produced, linked both ways to it:
// requestGroup is followed by them and each follows it. Each gets
// metadataInfo when there is one, and with the control server on and
// "pause-metadata" set each waits paused.
void appendFollowUpDownloads(std::vector<std::shared_ptr<RequestGroup>>& groups,
                             const std::vector<std::shared_ptr<RequestGroup>>& newGroups,
                             RequestGroup* requestGroup,
                             const std::shared_ptr<MetadataInfo>& metadataInfo);

}  // namespace quarn
