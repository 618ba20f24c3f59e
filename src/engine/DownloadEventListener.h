#pragma once

namespace quarn {

class RequestGroup;

enum DownloadEvent {
  EVENT_ON_DOWNLOAD_START = 1,
  EVENT_ON_DOWNLOAD_PAUSE = 2,
  EVENT_ON_DOWNLOAD_STOP = 3,
  EVENT_ON_DOWNLOAD_COMPLETE = 4,
  EVENT_ON_DOWNLOAD_ERROR = 5,
  EVENT_ON_BT_DOWNLOAD_COMPLETE = 6
};

class DownloadEventListener {
 public:
  virtual ~DownloadEventListener() = default;
  virtual void onEvent(DownloadEvent event, const RequestGroup* group) = 0;
};

}  // namespace quarn
