#pragma once

#include <cstdio>
#include <string>

#include "foundation/OutputFile.h"

namespace quarn {

// Collects everything written into a string.
class StringOutputFile : public OutputFile {
 public:
  explicit StringOutputFile(bool color = false) : color_(color) {}
  size_t write(const char* str) override {
    text += str;
    return std::char_traits<char>::length(str);
  }
  int flush() override { return 0; }
  int vprintf(const char* format, va_list va) override {
    char buf[4096];
    int n = vsnprintf(buf, sizeof(buf), format, va);
    text += buf;
    return n;
  }
  bool supportsColor() override { return color_; }

  std::string text;

 private:
  bool color_;
};

}  // namespace quarn
