#include "platform/Epoll.h"

#include <unistd.h>

#include <cerrno>

namespace quarn {
namespace platform {

Epoll::Epoll() : fd_(epoll_create1(EPOLL_CLOEXEC)), createError_(fd_ == -1 ? errno : 0) {}

Epoll::~Epoll() {
  close();
}

int Epoll::close() {
  if (fd_ == -1) {
    return 0;
  }
  int res = ::close(fd_);
  fd_ = -1;
  return res == 0 ? 0 : errno;
}

namespace {

int control(int epfd, int op, int fd, uint32_t events) {
  struct epoll_event ev = {};
  ev.events = events;
  ev.data.fd = fd;
  return epoll_ctl(epfd, op, fd, &ev) == 0 ? 0 : errno;
}

}  // namespace

// A descriptor that was closed drops out of the epoll set by itself, and its
// number may come back for a new socket; so an addition may find the number
// already known and a modification may find it gone.
int Epoll::add(int fd, uint32_t events) {
  int err = control(fd_, EPOLL_CTL_ADD, fd, events);
  return err == EEXIST ? control(fd_, EPOLL_CTL_MOD, fd, events) : err;
}

int Epoll::modify(int fd, uint32_t events) {
  int err = control(fd_, EPOLL_CTL_MOD, fd, events);
  return err == ENOENT ? control(fd_, EPOLL_CTL_ADD, fd, events) : err;
}

int Epoll::remove(int fd) {
  struct epoll_event ev = {};
  if (epoll_ctl(fd_, EPOLL_CTL_DEL, fd, &ev) == 0) {
    return 0;
  }
  return errno;
}

int Epoll::wait(struct epoll_event* out, int capacity, int timeoutMs) {
  int res;
  while ((res = epoll_wait(fd_, out, capacity, timeoutMs)) == -1 && errno == EINTR) {
  }
  return res;
}

}  // namespace platform
}  // namespace quarn
