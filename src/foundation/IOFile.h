#pragma once

#include <iosfwd>
#include <string>

#include "foundation/OutputFile.h"

namespace quarn {

// A file for line-oriented reading and writing. The public operations are fixed
// here and forward to what each implementation provides.
class IOFile : public OutputFile {
 public:
  static const char READ[];
  static const char WRITE[];
  static const char APPEND[];

  // True when the file is open and not in error.
  explicit operator bool() const;

  size_t read(void* ptr, size_t count);
  size_t write(const void* ptr, size_t count);
  size_t write(const char* str) override;
  // Reads at most size-1 bytes up to and including a newline; null at end of
  // file or on error.
  char* gets(char* s, int size);
  // Like gets, without the trailing newline.
  char* getsn(char* s, int size);
  // One line without its newline; empty for a closed file or at end of file.
  std::string getLine();
  int close();
  int flush() override;
  int vprintf(const char* format, va_list va) override;
  bool eof();
  bool supportsColor() override;
  // Copies the rest of the file into out; returns the number of bytes copied.
  size_t transfer(std::ostream& out);

 protected:
  virtual size_t onRead(void* ptr, size_t count) = 0;
  virtual size_t onWrite(const void* ptr, size_t count) = 0;
  virtual char* onGets(char* s, int size) = 0;
  virtual int onVprintf(const char* format, va_list va) = 0;
  virtual int onFlush() = 0;
  virtual int onClose() = 0;
  virtual bool onSupportsColor() = 0;

 public:
  virtual bool isError() const = 0;
  virtual bool isEOF() const = 0;
  virtual bool isOpen() const = 0;
};

}  // namespace quarn
