#pragma once

#include <libssh2.h>

#include <cstddef>

namespace quarn {

// The memory of one libssh2 session: every block the library allocates for
// the session goes through the three callbacks below and is kept on a list,
// so that whatever the library still holds once the session is freed can be
// released with it. libssh2 leaves the key-exchange state of a handshake that
// was abandoned half-way (a connection dropped while it is still connecting)
// allocated when the session is freed.
class SSHSessionMemory {
 public:
  SSHSessionMemory();
  ~SSHSessionMemory();
  SSHSessionMemory(const SSHSessionMemory&) = delete;
  SSHSessionMemory& operator=(const SSHSessionMemory&) = delete;

  // Frees every block still allocated. Only once the session is gone.
  void releaseAll();
  size_t blockCount() const;

  // For libssh2_session_init_ex, with this object as the abstract pointer.
  static LIBSSH2_ALLOC_FUNC(alloc);
  static LIBSSH2_FREE_FUNC(free);
  static LIBSSH2_REALLOC_FUNC(realloc);

 private:
  // Precedes each block; keeps the block's alignment.
  struct alignas(std::max_align_t) Header {
    Header* prev;
    Header* next;
  };

  void link(Header* h);
  static void unlink(Header* h);
  static SSHSessionMemory* of(void** abstract) { return static_cast<SSHSessionMemory*>(*abstract); }

  Header list_;
};

}  // namespace quarn
