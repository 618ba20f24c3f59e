#pragma once

namespace quarn {

class BtAnnounce;
class DownloadEngine;

// One announce in flight to one tracker, whatever carries it.
class AnnRequest {
 public:
  virtual ~AnnRequest() = default;

  // Nothing of the request is still running.
  virtual bool stopped() const = 0;
  // It ended with an answer to read.
  virtual bool success() const = 0;
  // Starts it; false when it could not be started (it then counts as a
  // stopped, failed request).
  virtual bool issue(DownloadEngine* e) = 0;
  // Cuts it short.
  virtual void stop(DownloadEngine* e) = 0;
  // Hands the answer to the announcer; false when it was unusable.
  virtual bool processResponse(BtAnnounce& btAnnounce) = 0;
};

}  // namespace quarn
