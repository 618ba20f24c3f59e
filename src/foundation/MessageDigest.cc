#include "foundation/MessageDigest.h"

#include <algorithm>
#include <utility>

#include "foundation/util_string.h"

namespace quarn {

namespace {

struct HashTypeStrength {
  const char* hashType;
  int strength;
};

// Ordered as reported to users; a higher strength is preferred among checksums.
constexpr HashTypeStrength hashTypeStrengths[] = {
    {"sha-1", 1},   {"sha-224", 2}, {"sha-256", 3}, {"sha-384", 4},
    {"sha-512", 5}, {"md5", 0},     {"adler32", 0},
};

const HashTypeStrength* findStrength(const std::string& hashType) {
  for (const auto& entry : hashTypeStrengths) {
    if (hashType == entry.hashType) {
      return &entry;
    }
  }
  return nullptr;
}

}  // namespace

MessageDigest::MessageDigest(std::unique_ptr<MessageDigestImpl> impl) : pImpl_(std::move(impl)) {}

MessageDigest::~MessageDigest() = default;

std::unique_ptr<MessageDigest> MessageDigest::sha1() {
  return std::unique_ptr<MessageDigest>(new MessageDigest(MessageDigestImpl::sha1()));
}

std::unique_ptr<MessageDigest> MessageDigest::create(const std::string& hashType) {
  auto i = MessageDigestImpl::hashes.find(hashType);
  if (i == MessageDigestImpl::hashes.end()) {
    return std::unique_ptr<MessageDigest>(new MessageDigest(nullptr));
  }
  return std::unique_ptr<MessageDigest>(new MessageDigest(i->second.first()));
}

bool MessageDigest::supports(const std::string& hashType) {
  return MessageDigestImpl::hashes.count(hashType) != 0;
}

std::vector<std::string> MessageDigest::getSupportedHashTypes() {
  std::vector<std::string> types;
  for (const auto& entry : hashTypeStrengths) {
    if (supports(entry.hashType)) {
      types.emplace_back(entry.hashType);
    }
  }
  return types;
}

std::string MessageDigest::getSupportedHashTypeString() {
  std::string joined;
  for (const auto& type : getSupportedHashTypes()) {
    if (!joined.empty()) {
      joined += ", ";
    }
    joined += type;
  }
  return joined;
}

size_t MessageDigest::getDigestLength(const std::string& hashType) {
  auto i = MessageDigestImpl::hashes.find(hashType);
  return i == MessageDigestImpl::hashes.end() ? 0 : i->second.second;
}

bool MessageDigest::isStronger(const std::string& lhs, const std::string& rhs) {
  auto l = findStrength(lhs);
  if (!l) {
    return false;
  }
  auto r = findStrength(rhs);
  return !r || r->strength < l->strength;
}

bool MessageDigest::isValidHash(const std::string& hashType, const std::string& hexDigest) {
  return util::isHexDigit(hexDigest) && supports(hashType) &&
         getDigestLength(hashType) * 2 == hexDigest.size();
}

std::string MessageDigest::getCanonicalHashType(const std::string& hashType) {
  if (hashType == "sha1") {
    return "sha-1";
  }
  if (hashType == "sha256") {
    return "sha-256";
  }
  return hashType;
}

size_t MessageDigest::getDigestLength() const {
  return pImpl_->getDigestLength();
}

void MessageDigest::reset() {
  pImpl_->reset();
}

MessageDigest& MessageDigest::update(const void* data, size_t length) {
  pImpl_->update(data, length);
  return *this;
}

void MessageDigest::digest(unsigned char* out) {
  pImpl_->digest(out);
}

std::string MessageDigest::digest() {
  std::string out(getDigestLength(), '\0');
  pImpl_->digest(reinterpret_cast<unsigned char*>(out.data()));
  return out;
}

}  // namespace quarn
