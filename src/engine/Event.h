#pragma once

namespace quarn {

// Something registered on one socket entry of a poll, woken with the ready
// bits in the poll's internal encoding.
template <typename SocketEntry>
class Event {
 public:
  virtual ~Event() = default;
  virtual void processEvents(int events) = 0;
  virtual int getEvents() const = 0;
  virtual void addSelf(SocketEntry* socketEntry) const = 0;
  virtual void removeSelf(SocketEntry* socketEntry) const = 0;
};

}  // namespace quarn
