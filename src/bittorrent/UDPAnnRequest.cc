#include "bittorrent/UDPAnnRequest.h"

#include "bittorrent/BtAnnounce.h"
#include "bittorrent/NameResolveCommand.h"
#include "bittorrent/UDPTrackerRequest.h"
#include "engine/DownloadEngine.h"

namespace quarn {

UDPAnnRequest::UDPAnnRequest(std::shared_ptr<UDPTrackerRequest> request)
    : request_(std::move(request)) {}

UDPAnnRequest::~UDPAnnRequest() {
  if (request_) {
    request_->userData = nullptr;
  }
}

bool UDPAnnRequest::stopped() const {
  return !request_ || request_->state == UDPT_STA_COMPLETE;
}

bool UDPAnnRequest::success() const {
  return request_ && request_->state == UDPT_STA_COMPLETE && request_->error == UDPT_ERR_SUCCESS;
}

bool UDPAnnRequest::issue(DownloadEngine* e) {
  if (!request_) {
    return false;
  }
  e->addCommand(std::make_unique<NameResolveCommand>(e->newCUID(), e, request_));
  e->setNoWait(true);
  return true;
}

void UDPAnnRequest::stop(DownloadEngine* /*e*/) {
  if (request_) {
    request_->userData = nullptr;
    request_.reset();
  }
}

bool UDPAnnRequest::processResponse(BtAnnounce& btAnnounce) {
  if (!request_) {
    return false;
  }
  btAnnounce.processUDPTrackerResponse(request_);
  return true;
}

}  // namespace quarn
