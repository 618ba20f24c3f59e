#pragma once

#include <zlib.h>

#include "foundation/IOFile.h"

namespace quarn {

// A gzip-compressed file.
class GZipFile : public IOFile {
 public:
  // "/dev/stdin" reads the process's standard input.
  GZipFile(const char* filename, const char* mode);
  ~GZipFile() override;
  GZipFile(const GZipFile&) = delete;
  GZipFile& operator=(const GZipFile&) = delete;

  bool isError() const override;
  bool isEOF() const override;
  bool isOpen() const override;

 protected:
  size_t onRead(void* ptr, size_t count) override;
  size_t onWrite(const void* ptr, size_t count) override;
  char* onGets(char* s, int size) override;
  int onVprintf(const char* format, va_list va) override;
  int onFlush() override;
  int onClose() override;
  bool onSupportsColor() override;

 private:
  gzFile fp_;
  size_t buflen_;
  char* buf_;
};

}  // namespace quarn
