#pragma once

#include <memory>

#include "engine/Dependency.h"

namespace quarn {

class RequestGroup;

// Makes a download wait for the download of a torrent (or of its metadata),
// then take the torrent's description while keeping its own paths and
// mirrors. When the torrent download fails or its data is no usable torrent,
// the waiting download goes on as it was described.
class BtDependency : public Dependency {
 public:
  // dependant owns this dependency.
  BtDependency(RequestGroup* dependant, std::shared_ptr<RequestGroup> dependee);

  // Never throws.
  bool resolve() override;

 private:
  void goWithoutBt() const;

  RequestGroup* dependant_;
  std::shared_ptr<RequestGroup> dependee_;
};

}  // namespace quarn
