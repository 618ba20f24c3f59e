#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "foundation/ValueBase.h"

namespace quarn {

// A byte string node; holds text and raw bytes alike (embedded zero bytes included).
class String : public ValueBase {
 public:
  using ValueType = std::string;

  String() = default;
  explicit String(const std::string& string) : str_(string) {}
  explicit String(std::string&& string) : str_(std::move(string)) {}
  explicit String(const char* cstring) : str_(cstring) {}
  String(const char* data, size_t length) : str_(data, length) {}
  String(const unsigned char* data, size_t length)
      : str_(reinterpret_cast<const char*>(data), length) {}

  static std::unique_ptr<String> g(const std::string& string) {
    return std::make_unique<String>(string);
  }
  static std::unique_ptr<String> g(std::string&& string) {
    return std::make_unique<String>(std::move(string));
  }
  static std::unique_ptr<String> g(const unsigned char* data, size_t length) {
    return std::make_unique<String>(data, length);
  }

  const std::string& s() const { return str_; }
  const unsigned char* uc() const { return reinterpret_cast<const unsigned char*>(str_.data()); }
  std::string popValue() const { return str_; }

  void accept(ValueBaseVisitor& visitor) const override;

 private:
  std::string str_;
};

}  // namespace quarn
