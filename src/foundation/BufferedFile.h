#pragma once

#include <cstdio>

#include "foundation/IOFile.h"

namespace quarn {

// A file on the operating system's buffered stream. Closing it synchronises its
// data to the storage device.
class BufferedFile : public IOFile {
 public:
  // "/dev/stdin" reads the process's standard input.
  BufferedFile(const char* filename, const char* mode);
  // Wraps an already open stream (standard output, standard error).
  explicit BufferedFile(FILE* fp);
  ~BufferedFile() override;
  BufferedFile(const BufferedFile&) = delete;
  BufferedFile& operator=(const BufferedFile&) = delete;

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
  FILE* fp_;
  bool supportsColor_;
};

}  // namespace quarn
