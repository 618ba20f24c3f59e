#pragma once

#include <signal.h>

#include <cstddef>

namespace quarn {
namespace util {

// Installs handler for sig; a failure is logged, not raised.
void setGlobalSignalHandler(int sig, sigset_t* mask, void (*handler)(int), int flags);

// Keeps fd from leaking into child processes.
void make_fd_cloexec(int fd);

// Memory aligned to alignment; raises FatalException when none is available.
void* allocateAlignedMemory(size_t alignment, size_t size);

}  // namespace util
}  // namespace quarn
