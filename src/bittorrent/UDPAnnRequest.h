#pragma once

#include <memory>

#include "bittorrent/AnnRequest.h"

namespace quarn {

struct UDPTrackerRequest;

// An announce carried by the shared UDP tracker client: the tracker's host
// is resolved first, then the request joins the client's queue.
class UDPAnnRequest : public AnnRequest {
 public:
  explicit UDPAnnRequest(std::shared_ptr<UDPTrackerRequest> request);
  // Nothing may wake the owner once it is gone.
  ~UDPAnnRequest() override;

  bool stopped() const override;
  bool success() const override;
  bool issue(DownloadEngine* e) override;
  void stop(DownloadEngine* e) override;
  bool processResponse(BtAnnounce& btAnnounce) override;

 private:
  std::shared_ptr<UDPTrackerRequest> request_;
};

}  // namespace quarn
