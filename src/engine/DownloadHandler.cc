#include "engine/DownloadHandler.h"

namespace quarn {

bool DownloadHandler::canHandle(const RequestGroup* requestGroup) const {
  return !criteria_ || criteria_->match(requestGroup);
}

void DownloadHandler::setCriteria(std::unique_ptr<RequestGroupCriteria> criteria) {
  criteria_ = std::move(criteria);
}

}  // namespace quarn
