#pragma once

#include <memory>

#include "bittorrent/AnnRequest.h"

namespace quarn {

class RequestGroup;

// An announce over HTTP: a hidden download of the announce URL whose body
// stays in memory. It never enters the download queue; its commands run in
// the engine directly and it lives as long as this request.
class HTTPAnnRequest : public AnnRequest {
 public:
  explicit HTTPAnnRequest(std::shared_ptr<RequestGroup> group);
  ~HTTPAnnRequest() override;

  bool stopped() const override;
  bool success() const override;
  bool issue(DownloadEngine* e) override;
  void stop(DownloadEngine* e) override;
  bool processResponse(BtAnnounce& btAnnounce) override;

  const std::shared_ptr<RequestGroup>& getRequestGroup() const { return group_; }

 private:
  std::shared_ptr<RequestGroup> group_;
};

}  // namespace quarn
