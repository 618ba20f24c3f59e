#include "foundation/util_stream.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/BinaryStream.h"

namespace quarn {

namespace {

class MemoryStream : public BinaryStream {
 public:
  explicit MemoryStream(std::string data) : data_(std::move(data)) {}
  void writeData(const unsigned char*, size_t, int64_t) override {}
  ssize_t readData(unsigned char* data, size_t len, int64_t offset) override {
    ++reads;
    if (offset >= static_cast<int64_t>(data_.size())) {
      return 0;
    }
    size_t n = std::min(len, data_.size() - offset);
    std::copy_n(data_.data() + offset, n, data);
    return n;
  }
  int reads = 0;

 private:
  std::string data_;
};

}  // namespace

TEST(UtilStreamTest, ReadsTheWholeStream) {
  auto empty = std::make_shared<MemoryStream>("");
  EXPECT_EQ("", util::toString(empty));
  EXPECT_EQ(1, empty->reads);

  std::string data;
  for (int i = 0; i < 5000; ++i) {
    data += static_cast<char>(i % 251);
  }
  auto stream = std::make_shared<MemoryStream>(data);
  EXPECT_EQ(data, util::toString(stream));
  EXPECT_EQ(4, stream->reads);
}

}  // namespace quarn
