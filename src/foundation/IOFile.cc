#include "foundation/IOFile.h"

#include <cstring>
#include <ostream>

namespace quarn {

const char IOFile::READ[] = "rb";
const char IOFile::WRITE[] = "wb";
const char IOFile::APPEND[] = "ab";

IOFile::operator bool() const {
  return isOpen() && !isError();
}

size_t IOFile::read(void* ptr, size_t count) {
  return onRead(ptr, count);
}

size_t IOFile::write(const void* ptr, size_t count) {
  return onWrite(ptr, count);
}

size_t IOFile::write(const char* str) {
  return onWrite(str, strlen(str));
}

char* IOFile::gets(char* s, int size) {
  return onGets(s, size);
}

char* IOFile::getsn(char* s, int size) {
  char* ptr = gets(s, size);
  if (ptr) {
    size_t len = strlen(ptr);
    if (len > 0 && ptr[len - 1] == '\n') {
      ptr[len - 1] = '\0';
    }
  }
  return ptr;
}

std::string IOFile::getLine() {
  std::string res;
  if (eof()) {
    return res;
  }
  char buf[4096];
  while (gets(buf, sizeof(buf))) {
    size_t len = strlen(buf);
    if (len > 0 && buf[len - 1] == '\n') {
      res.append(buf, len - 1);
      break;
    }
    res.append(buf, len);
  }
  return res;
}

int IOFile::close() {
  return onClose();
}

int IOFile::flush() {
  return onFlush();
}

int IOFile::vprintf(const char* format, va_list va) {
  return onVprintf(format, va);
}

bool IOFile::eof() {
  return !isOpen() || isEOF();
}

bool IOFile::supportsColor() {
  return onSupportsColor();
}

size_t IOFile::transfer(std::ostream& out) {
  size_t count = 0;
  char buf[4096];
  while (true) {
    size_t r = read(buf, sizeof(buf));
    out.write(buf, r);
    count += r;
    if (r < sizeof(buf)) {
      break;
    }
  }
  return count;
}

}  // namespace quarn
