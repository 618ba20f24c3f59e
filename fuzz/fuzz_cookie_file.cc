#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "client/cookie/CookieStorage.h"

// Loads the input as a cookie file: Netscape text, or a SQLite database when
// it starts with the SQLite header.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char path[] = "/tmp/quarn-fuzz-cookie-XXXXXX";
  int fd = mkstemp(path);
  if (fd == -1) {
    return 0;
  }
  if (write(fd, data, size) == static_cast<ssize_t>(size)) {
    quarn::CookieStorage storage;
    storage.load(path, 1000000000);
  }
  close(fd);
  unlink(path);
  return 0;
}
