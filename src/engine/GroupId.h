#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quarn {

// The identity of a download: a non-zero 64-bit number, unique among the
// downloads and results that exist in the process. An id stays taken while any
// GroupId object holding it lives.
class GroupId {
 public:
  using gid_t = uint64_t;

  static constexpr size_t ABBREV_SIZE = 6;

  enum { EXPAND_OK = 0, EXPAND_NOT_UNIQUE = -1, EXPAND_NOT_FOUND = -2, ERR_INVALID = -3 };

  ~GroupId();
  GroupId(const GroupId&) = delete;
  GroupId& operator=(const GroupId&) = delete;

  static std::shared_ptr<GroupId> create();
  // Null when n is 0 or already taken.
  static std::shared_ptr<GroupId> import(gid_t n);
  static void clear();

  // Finds the one registered id whose 16-digit hex form starts with text.
  static int expandUnique(gid_t& n, const std::string& text);
  // 0 with n set when text is exactly 16 hex digits of a non-zero value.
  static int toNumericId(gid_t& n, const std::string& text);

  static std::string toHex(gid_t n);
  static std::string toAbbrevHex(gid_t n);

  gid_t getNumericId() const { return gid_; }
  std::string toHex() const { return toHex(gid_); }
  std::string toAbbrevHex() const { return toAbbrevHex(gid_); }

 private:
  explicit GroupId(gid_t gid);

  gid_t gid_;
};

}  // namespace quarn
