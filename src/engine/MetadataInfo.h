#pragma once

#include <memory>
#include <string>

#include "engine/GroupId.h"

namespace quarn {

// The metadata download (torrent, Metalink) a download was made from.
class MetadataInfo {
 public:
  MetadataInfo() = default;
  MetadataInfo(std::shared_ptr<GroupId> gid, std::string uri)
      : gid_(std::move(gid)), uri_(std::move(uri)) {}

  bool dataOnly() const { return !gid_; }
  GroupId::gid_t getGID() const { return gid_->getNumericId(); }
  const std::shared_ptr<GroupId>& getGroupId() const { return gid_; }
  const std::string& getUri() const { return uri_; }

 private:
  std::shared_ptr<GroupId> gid_;
  std::string uri_;
};

}  // namespace quarn
