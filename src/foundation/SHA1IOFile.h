#pragma once

#include <memory>
#include <string>

#include "foundation/IOFile.h"

namespace quarn {

class MessageDigest;

// A write-only sink that only hashes what it is given, to tell whether a file
// about to be rewritten would change. Reading and formatted printing are not
// provided.
class SHA1IOFile : public IOFile {
 public:
  SHA1IOFile();
  ~SHA1IOFile() override;

  // The 20-byte raw SHA-1 of everything written so far.
  std::string digest();

  bool isError() const override { return false; }
  bool isEOF() const override { return false; }
  bool isOpen() const override { return true; }

 protected:
  size_t onRead(void* ptr, size_t count) override;
  size_t onWrite(const void* ptr, size_t count) override;
  char* onGets(char* s, int size) override;
  int onVprintf(const char* format, va_list va) override;
  int onFlush() override { return 0; }
  int onClose() override { return 0; }
  bool onSupportsColor() override { return false; }

 private:
  std::unique_ptr<MessageDigest> sha1_;
};

}  // namespace quarn
