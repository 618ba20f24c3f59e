#include "engine/Notifier.h"

namespace quarn {

namespace {

std::unique_ptr<Notifier>& instanceSlot() {
  static std::unique_ptr<Notifier> instance;
  return instance;
}

}  // namespace

void Notifier::addDownloadEventListener(DownloadEventListener* listener) {
  listeners_.push_back(listener);
}

void Notifier::notifyDownloadEvent(DownloadEvent event, const RequestGroup* group) const {
  for (auto* listener : listeners_) {
    listener->onEvent(event, group);
  }
}

Notifier* Notifier::getInstance() {
  return instanceSlot().get();
}

void Notifier::setInstance(std::unique_ptr<Notifier> notifier) {
  instanceSlot() = std::move(notifier);
}

}  // namespace quarn
