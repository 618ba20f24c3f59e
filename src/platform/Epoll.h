#pragma once

#include <sys/epoll.h>

#include <cstdint>

namespace quarn {
namespace platform {

// Owns one epoll instance: the Linux readiness queue that stands in for kqueue.
class Epoll {
 public:
  Epoll();
  ~Epoll();
  Epoll(const Epoll&) = delete;
  Epoll& operator=(const Epoll&) = delete;

  bool good() const { return fd_ != -1; }
  int getFd() const { return fd_; }
  // The errno of a failed creation, 0 otherwise.
  int getCreateError() const { return createError_; }

  // Registers fd with the events wanted. Returns 0 or the errno of the failure.
  int add(int fd, uint32_t events);
  // Changes the events wanted on a registered fd. Returns 0 or the errno.
  int modify(int fd, uint32_t events);
  // Closes the instance now. Returns 0 or the errno of the failure.
  int close();
  // Unregisters fd. Returns 0 or the errno of the failure.
  int remove(int fd);
  // Waits up to timeoutMs, repeating the wait when a signal interrupts it.
  // Returns the number of events written to out, or -1 with errno set.
  int wait(struct epoll_event* out, int capacity, int timeoutMs);

 private:
  int fd_;
  int createError_;
};

}  // namespace platform
}  // namespace quarn
