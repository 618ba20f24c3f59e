#include "foundation/BufferedFile.h"

#include <cstring>

#include <unistd.h>

namespace quarn {

namespace {

bool isTerminal(FILE* fp) {
  return fp && isatty(fileno(fp));
}

}  // namespace

BufferedFile::BufferedFile(const char* filename, const char* mode)
    : fp_(strcmp(filename, "/dev/stdin") == 0 ? stdin : fopen(filename, mode)),
      supportsColor_(isTerminal(fp_)) {}

BufferedFile::BufferedFile(FILE* fp) : fp_(fp), supportsColor_(isTerminal(fp_)) {}

BufferedFile::~BufferedFile() {
  close();
}

size_t BufferedFile::onRead(void* ptr, size_t count) {
  return fp_ ? fread(ptr, 1, count, fp_) : 0;
}

size_t BufferedFile::onWrite(const void* ptr, size_t count) {
  return fp_ ? fwrite(ptr, 1, count, fp_) : 0;
}

char* BufferedFile::onGets(char* s, int size) {
  return fp_ ? fgets(s, size, fp_) : nullptr;
}

int BufferedFile::onVprintf(const char* format, va_list va) {
  return fp_ ? vfprintf(fp_, format, va) : -1;
}

int BufferedFile::onFlush() {
  return fp_ ? fflush(fp_) : 0;
}

int BufferedFile::onClose() {
  int rv = 0;
  if (fp_) {
    fflush(fp_);
    fsync(fileno(fp_));
    if (fp_ != stdin && fp_ != stderr) {
      rv = fclose(fp_);
    }
    fp_ = nullptr;
  }
  return rv;
}

bool BufferedFile::onSupportsColor() {
  return supportsColor_;
}

bool BufferedFile::isError() const {
  return fp_ && ferror(fp_);
}

bool BufferedFile::isEOF() const {
  return fp_ && feof(fp_);
}

bool BufferedFile::isOpen() const {
  return fp_ != nullptr;
}

}  // namespace quarn
