#pragma once

#include <memory>

#include "engine/RequestGroupCriteria.h"

namespace quarn {

class RequestGroup;

// Something done to a download before it writes data or after it completes,
// when its criterion matches.
class DownloadHandler {
 public:
  virtual ~DownloadHandler() = default;

  // True without a criterion.
  bool canHandle(const RequestGroup* requestGroup) const;
  void setCriteria(std::unique_ptr<RequestGroupCriteria> criteria);

 private:
  std::unique_ptr<RequestGroupCriteria> criteria_;
};

}  // namespace quarn
