#pragma once

#include <string>

#include "storage/DiskWriter.h"

namespace quarn {

// Keeps a download in memory, up to a maximum length.
class ByteArrayDiskWriter : public DiskWriter {
 public:
  static constexpr size_t DEFAULT_MAX_LENGTH = 15 * 1024 * 1024;

  explicit ByteArrayDiskWriter(size_t maxLength = DEFAULT_MAX_LENGTH) : maxLength_(maxLength) {}

  void initAndOpenFile(int64_t /*totalLength*/ = 0) override { buf_.clear(); }
  void openFile(int64_t /*totalLength*/ = 0) override {}
  void closeFile() override {}
  void openExistingFile(int64_t /*totalLength*/ = 0) override {}
  void writeData(const uint8_t* data, size_t len, int64_t offset) override;
  ssize_t readData(uint8_t* data, size_t len, int64_t offset) override;
  int64_t size() override { return buf_.size(); }

  void setString(const std::string& s) { buf_ = s; }
  std::string getString() const { return buf_; }
  void clear() { buf_.clear(); }

 private:
  std::string buf_;
  size_t maxLength_;
};

}  // namespace quarn
