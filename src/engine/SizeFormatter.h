#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// Formats byte counts and speeds for the console.
class SizeFormatter {
 public:
  virtual ~SizeFormatter() = default;
  std::string operator()(int64_t size) const { return format(size); }

 protected:
  virtual std::string format(int64_t size) const = 0;
};

// "1.4Ki", "12Mi".
class AbbrevSizeFormatter : public SizeFormatter {
 protected:
  std::string format(int64_t size) const override;
};

// Plain decimal digits.
class PlainSizeFormatter : public SizeFormatter {
 protected:
  std::string format(int64_t size) const override;
};

}  // namespace quarn
