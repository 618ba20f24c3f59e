#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace quarn {

// One running hash computation of a fixed algorithm.
class MessageDigestImpl {
 public:
  virtual ~MessageDigestImpl() = default;
  virtual size_t getDigestLength() const = 0;
  virtual void reset() = 0;
  virtual void update(const void* data, size_t length) = 0;
  // out must hold getDigestLength() bytes.
  virtual void digest(unsigned char* out) = 0;

  static std::unique_ptr<MessageDigestImpl> sha1();

  using Factory = std::function<std::unique_ptr<MessageDigestImpl>()>;
  using HashInfo = std::pair<Factory, size_t>;
  using Hashes = std::map<std::string, HashInfo>;

  template <typename T>
  static HashInfo make_hi() {
    return {[]() -> std::unique_ptr<MessageDigestImpl> { return std::make_unique<T>(); },
            T::length()};
  }

  // Supported hash-type names with their factories and digest lengths.
  static const Hashes hashes;
};

}  // namespace quarn
