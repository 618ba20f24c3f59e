#include "foundation/MessageDigest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "foundation/BinaryStream.h"
#include "foundation/DlAbortEx.h"
#include "foundation/message_digest.h"

namespace quarn {
namespace {

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 0xf];
  }
  return out;
}

std::string digestOf(const std::string& hashType, const std::string& data) {
  auto md = MessageDigest::create(hashType);
  md->update(data.data(), data.size());
  return hex(md->digest());
}

struct KnownDigest {
  const char* hashType;
  size_t length;
  const char* digestOfAbc;
};

const KnownDigest knownDigests[] = {
    {"sha-1", 20, "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"sha-224", 28, "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
    {"sha-256", 32, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"sha-384", 48,
     "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c8"
     "25a7"},
    {"sha-512", 64,
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3fe"
     "ebbd454d4423643ce80e2a9ac94fa54ca49f"},
    {"md5", 16, "900150983cd24fb0d6963f7d28e17f72"},
    {"adler32", 4, "024d0127"},
};

TEST(MessageDigestTest, EveryHashTypeComputesKnownDigestOfAbc) {
  for (const auto& known : knownDigests) {
    SCOPED_TRACE(known.hashType);
    EXPECT_TRUE(MessageDigest::supports(known.hashType));
    EXPECT_EQ(known.length, MessageDigest::getDigestLength(known.hashType));
    EXPECT_EQ(known.length, MessageDigest::create(known.hashType)->getDigestLength());
    EXPECT_EQ(known.digestOfAbc, digestOf(known.hashType, "abc"));
  }
}

TEST(MessageDigestTest, Adler32OfNothingIsStartValue) {
  EXPECT_EQ("00000001", digestOf("adler32", ""));
}

TEST(MessageDigestTest, ResetStartsAFreshComputation) {
  for (const auto& known : knownDigests) {
    SCOPED_TRACE(known.hashType);
    auto md = MessageDigest::create(known.hashType);
    md->update("xyz", 3);
    md->digest();
    md->reset();
    md->update("a", 1).update("bc", 2);
    EXPECT_EQ(known.digestOfAbc, hex(md->digest()));
  }
}

TEST(MessageDigestTest, Sha1FactoryMatchesNamedSha1) {
  auto md = MessageDigest::sha1();
  md->update("abc", 3);
  EXPECT_EQ(knownDigests[0].digestOfAbc, hex(md->digest()));
}

TEST(MessageDigestTest, CatalogueListsTypesInStrengthOrder) {
  EXPECT_EQ("sha-1, sha-224, sha-256, sha-384, sha-512, md5, adler32",
            MessageDigest::getSupportedHashTypeString());
  EXPECT_EQ(7u, MessageDigest::getSupportedHashTypes().size());
  EXPECT_FALSE(MessageDigest::supports("sha1"));
  EXPECT_EQ(0u, MessageDigest::getDigestLength("crc32"));
}

TEST(MessageDigestTest, IsStronger) {
  struct Case {
    const char* lhs;
    const char* rhs;
    bool stronger;
  } cases[] = {
      {"sha-256", "sha-1", true}, {"sha-1", "sha-1", false},    {"sha-1", "unknown", true},
      {"unknown", "md5", false},  {"md5", "adler32", false},    {"adler32", "md5", false},
      {"sha-1", "md5", true},     {"sha-512", "sha-384", true}, {"unknown", "other", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.stronger, MessageDigest::isStronger(c.lhs, c.rhs)) << c.lhs << " > " << c.rhs;
  }
}

TEST(MessageDigestTest, IsValidHash) {
  std::string forty(40, 'a');
  EXPECT_TRUE(MessageDigest::isValidHash("sha-1", forty));
  EXPECT_TRUE(MessageDigest::isValidHash("sha-1", "A9993E364706816ABA3E25717850C26C9CD0D89D"));
  EXPECT_FALSE(MessageDigest::isValidHash("sha-1", std::string(39, 'a')));
  EXPECT_FALSE(MessageDigest::isValidHash("sha-1", std::string(39, 'a') + "g"));
  EXPECT_FALSE(MessageDigest::isValidHash("sha1", forty));
  EXPECT_TRUE(MessageDigest::isValidHash("adler32", "024d0127"));
}

TEST(MessageDigestTest, CanonicalHashType) {
  EXPECT_EQ("sha-1", MessageDigest::getCanonicalHashType("sha1"));
  EXPECT_EQ("sha-256", MessageDigest::getCanonicalHashType("sha256"));
  EXPECT_EQ("sha512", MessageDigest::getCanonicalHashType("sha512"));
  EXPECT_EQ("SHA1", MessageDigest::getCanonicalHashType("SHA1"));
}

class StringStream : public BinaryStream {
 public:
  explicit StringStream(std::string data) : data_(std::move(data)) {}
  void writeData(const unsigned char*, size_t, int64_t) override {}
  ssize_t readData(unsigned char* out, size_t len, int64_t offset) override {
    if (offset >= static_cast<int64_t>(data_.size())) {
      return 0;
    }
    size_t n = std::min(len, data_.size() - static_cast<size_t>(offset));
    memcpy(out, data_.data() + offset, n);
    return static_cast<ssize_t>(n);
  }

 private:
  std::string data_;
};

TEST(MessageDigestTest, StreamDigestReadsRegionAcrossBlocks) {
  std::string data;
  for (int i = 0; i < 10000; ++i) {
    data += static_cast<char>('a' + i % 26);
  }
  StringStream stream(data);
  for (int64_t offset : {0, 1, 4095, 4096}) {
    for (int64_t length : {0, 1, 4096, 4097, 5000}) {
      auto md = MessageDigest::sha1();
      std::string viaStream = message_digest::digest(md.get(), &stream, offset, length);
      EXPECT_EQ(digestOf("sha-1", data.substr(offset, length)), hex(viaStream))
          << offset << "+" << length;
    }
  }
}

TEST(MessageDigestTest, StreamDigestFailsWhenDataIsTooShort) {
  StringStream stream(std::string(5000, 'x'));
  auto md = MessageDigest::sha1();
  try {
    message_digest::digest(md.get(), &stream, 1000, 4010);
    FAIL() << "no exception";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Failed to read from the file n/a, cause: data is too short", e.what());
    EXPECT_EQ(1, e.getErrorCode());
  }
}

TEST(MessageDigestTest, BufferDigestChecksOutputSpace) {
  auto md = MessageDigest::create("sha-256");
  unsigned char out[32];
  try {
    message_digest::digest(out, 31, md.get(), "abc", 3);
    FAIL() << "no exception";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ(
        "Insufficient space for storing message digest: 32 required, but only 31 is allocated",
        e.what());
  }
  message_digest::digest(out, sizeof(out), md.get(), "abc", 3);
  EXPECT_EQ(knownDigests[2].digestOfAbc,
            hex(std::string(reinterpret_cast<char*>(out), sizeof(out))));
}

}  // namespace
}  // namespace quarn
