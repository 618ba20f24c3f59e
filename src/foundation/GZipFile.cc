#include "foundation/GZipFile.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace quarn {

namespace {

// zlib takes an unsigned count but answers with an int, so one call never
// handles more than INT_MAX bytes.
constexpr size_t MAX_STEP = INT_MAX;

}  // namespace

GZipFile::GZipFile(const char* filename, const char* mode)
    : fp_(nullptr), buflen_(1024), buf_(static_cast<char*>(malloc(buflen_))) {
  FILE* fp = strcmp(filename, "/dev/stdin") == 0 ? stdin : fopen(filename, mode);
  if (!fp) {
    return;
  }
  int fd = dup(fileno(fp));
  if (fd != -1) {
    fp_ = gzdopen(fd, mode);
    if (fp_) {
      gzbuffer(fp_, 128 * 1024);
      gzsetparams(fp_, 2, Z_DEFAULT_STRATEGY);
    } else {
      ::close(fd);
    }
  }
  if (fp != stdin) {
    fclose(fp);
  }
}

GZipFile::~GZipFile() {
  close();
  free(buf_);
}

size_t GZipFile::onRead(void* ptr, size_t count) {
  size_t done = 0;
  auto* p = static_cast<char*>(ptr);
  while (done < count) {
    unsigned step = static_cast<unsigned>(std::min(count - done, MAX_STEP));
    int r = gzread(fp_, p + done, step);
    if (r <= 0) {
      break;
    }
    done += r;
  }
  return done;
}

size_t GZipFile::onWrite(const void* ptr, size_t count) {
  size_t done = 0;
  auto* p = static_cast<const char*>(ptr);
  while (done < count) {
    unsigned step = static_cast<unsigned>(std::min(count - done, MAX_STEP));
    int r = gzwrite(fp_, p + done, step);
    if (r <= 0) {
      break;
    }
    done += r;
  }
  return done;
}

char* GZipFile::onGets(char* s, int size) {
  return gzgets(fp_, s, size);
}

int GZipFile::onVprintf(const char* format, va_list va) {
  va_list copy;
  va_copy(copy, va);
  int rv = vsnprintf(buf_, buflen_, format, copy);
  va_end(copy);
  if (rv < 0) {
    return rv;
  }
  if (static_cast<size_t>(rv) >= buflen_) {
    while (buflen_ <= static_cast<size_t>(rv)) {
      buflen_ *= 2;
    }
    char* grown = static_cast<char*>(realloc(buf_, buflen_));
    if (!grown) {
      return -1;
    }
    buf_ = grown;
    rv = vsnprintf(buf_, buflen_, format, va);
    if (rv < 0) {
      return rv;
    }
  }
  return static_cast<int>(onWrite(buf_, rv));
}

int GZipFile::onFlush() {
  return fp_ ? gzflush(fp_, 0) : 0;
}

int GZipFile::onClose() {
  int rv = 0;
  if (fp_) {
    rv = gzclose(fp_);
    fp_ = nullptr;
  }
  return rv;
}

bool GZipFile::onSupportsColor() {
  return false;
}

bool GZipFile::isError() const {
  if (!fp_) {
    return false;
  }
  int errnum = 0;
  const char* msg = gzerror(fp_, &errnum);
  return (msg && msg[0] != '\0') || errnum != 0;
}

bool GZipFile::isEOF() const {
  return fp_ && gzeof(fp_);
}

bool GZipFile::isOpen() const {
  return fp_ != nullptr;
}

}  // namespace quarn
