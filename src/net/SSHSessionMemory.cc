#include "net/SSHSessionMemory.h"

#include <cstdlib>

namespace quarn {

SSHSessionMemory::SSHSessionMemory() : list_{&list_, &list_} {}

SSHSessionMemory::~SSHSessionMemory() {
  releaseAll();
}

void SSHSessionMemory::releaseAll() {
  while (list_.next != &list_) {
    Header* h = list_.next;
    unlink(h);
    std::free(h);
  }
}

size_t SSHSessionMemory::blockCount() const {
  size_t n = 0;
  for (const Header* h = list_.next; h != &list_; h = h->next) {
    ++n;
  }
  return n;
}

void SSHSessionMemory::link(Header* h) {
  h->prev = &list_;
  h->next = list_.next;
  list_.next->prev = h;
  list_.next = h;
}

void SSHSessionMemory::unlink(Header* h) {
  h->prev->next = h->next;
  h->next->prev = h->prev;
}

LIBSSH2_ALLOC_FUNC(SSHSessionMemory::alloc) {
  auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + count));
  if (!h) {
    return nullptr;
  }
  of(abstract)->link(h);
  return h + 1;
}

LIBSSH2_FREE_FUNC(SSHSessionMemory::free) {
  // Unused: libssh2 frees the session object itself, which `abstract` points
  // into, through this callback.
  (void)abstract;
  if (!ptr) {
    return;
  }
  Header* h = static_cast<Header*>(ptr) - 1;
  unlink(h);
  std::free(h);
}

LIBSSH2_REALLOC_FUNC(SSHSessionMemory::realloc) {
  if (!ptr) {
    return alloc(count, abstract);
  }
  SSHSessionMemory* memory = of(abstract);
  Header* h = static_cast<Header*>(ptr) - 1;
  unlink(h);
  auto* moved = static_cast<Header*>(std::realloc(h, sizeof(Header) + count));
  if (!moved) {
    memory->link(h);
    return nullptr;
  }
  memory->link(moved);
  return moved + 1;
}

}  // namespace quarn
