#include "engine/GroupId.h"

#include <set>

#include "foundation/util_random.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

std::set<GroupId::gid_t>& registry() {
  static std::set<GroupId::gid_t> set;
  return set;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// The digits of text as a number; false when text is empty, longer than 16
// digits or holds a non-hex character.
bool parseHex(GroupId::gid_t& value, const std::string& text) {
  if (text.empty() || text.size() > 16) {
    return false;
  }
  value = 0;
  for (char c : text) {
    int v = hexValue(c);
    if (v < 0) {
      return false;
    }
    value = (value << 4) | static_cast<GroupId::gid_t>(v);
  }
  return true;
}

}  // namespace

GroupId::GroupId(gid_t gid) : gid_(gid) {
  registry().insert(gid_);
}

GroupId::~GroupId() {
  registry().erase(gid_);
}

std::shared_ptr<GroupId> GroupId::create() {
  gid_t n;
  do {
    n = 0;
    util::generateRandomData(reinterpret_cast<unsigned char*>(&n), sizeof(n));
  } while (n == 0 || registry().count(n));
  return std::shared_ptr<GroupId>(new GroupId(n));
}

std::shared_ptr<GroupId> GroupId::import(gid_t n) {
  if (n == 0 || registry().count(n)) {
    return nullptr;
  }
  return std::shared_ptr<GroupId>(new GroupId(n));
}

void GroupId::clear() {
  registry().clear();
}

int GroupId::expandUnique(gid_t& n, const std::string& text) {
  gid_t value;
  if (!parseHex(value, text)) {
    return ERR_INVALID;
  }
  int shift = 64 - 4 * static_cast<int>(text.size());
  gid_t prefix = shift == 64 ? 0 : value << shift;
  gid_t mask = shift == 64 ? 0 : ~static_cast<gid_t>(0) << shift;
  auto& reg = registry();
  auto it = reg.lower_bound(prefix);
  if (it == reg.end() || (*it & mask) != prefix) {
    return EXPAND_NOT_FOUND;
  }
  n = *it;
  ++it;
  if (it != reg.end() && (*it & mask) == prefix) {
    return EXPAND_NOT_UNIQUE;
  }
  return EXPAND_OK;
}

int GroupId::toNumericId(gid_t& n, const std::string& text) {
  gid_t value;
  if (text.size() != 16 || !parseHex(value, text) || value == 0) {
    return ERR_INVALID;
  }
  n = value;
  return 0;
}

std::string GroupId::toHex(gid_t n) {
  unsigned char bytes[8];
  for (int i = 7; i >= 0; --i) {
    bytes[i] = static_cast<unsigned char>(n & 0xff);
    n >>= 8;
  }
  return util::toHex(bytes, sizeof(bytes));
}

std::string GroupId::toAbbrevHex(gid_t n) {
  return toHex(n).substr(0, ABBREV_SIZE);
}

}  // namespace quarn
