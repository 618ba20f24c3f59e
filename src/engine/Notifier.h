#pragma once

#include <memory>
#include <vector>

#include "engine/DownloadEventListener.h"

namespace quarn {

// Delivers download events to the in-process listeners, in registration order.
// One exists per run, held by the process-wide slot below.
class Notifier {
 public:
  // The listener must outlive the Notifier.
  void addDownloadEventListener(DownloadEventListener* listener);
  void notifyDownloadEvent(DownloadEvent event, const RequestGroup* group) const;
  void notifyDownloadEvent(DownloadEvent event, const std::shared_ptr<RequestGroup>& group) const {
    notifyDownloadEvent(event, group.get());
  }

  // The run's Notifier, or null outside a run.
  static Notifier* getInstance();
  // Replaces the run's Notifier (null removes it).
  static void setInstance(std::unique_ptr<Notifier> notifier);

 private:
  std::vector<DownloadEventListener*> listeners_;
};

}  // namespace quarn
