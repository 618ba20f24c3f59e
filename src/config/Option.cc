#include "config/Option.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "config/prefs.h"
#include "foundation/QNSTR.h"

namespace quarn {

Option::Option() : table_(option::countOption()), use_((option::countOption() + 7) / 8) {}

bool Option::bitSet(size_t index) const {
  if (index / 8 >= use_.size()) {
    std::fputs("Assertion failed: index < nbits\n", stderr);
    std::abort();
  }
  return use_[index / 8] & (0x80u >> (index % 8));
}

void Option::setBit(size_t index) {
  bitSet(index);
  use_[index / 8] |= 0x80u >> (index % 8);
}

void Option::unsetBit(size_t index) {
  bitSet(index);
  use_[index / 8] &= ~(0x80u >> (index % 8));
}

void Option::put(const Pref* pref, const std::string& value) {
  setBit(pref->i);
  table_[pref->i] = value;
}

void Option::removeLocal(const Pref* pref) {
  unsetBit(pref->i);
  table_[pref->i].clear();
}

void Option::remove(const Pref* pref) {
  for (Option* o = this; o; o = o->parent_.get()) {
    o->removeLocal(pref);
  }
}

void Option::merge(const Option& option) {
  for (size_t i = 1, len = option::countOption(); i < len; ++i) {
    if (option.bitSet(i)) {
      setBit(i);
      table_[i] = option.table_[i];
    }
  }
}

const Option* Option::findDefining(size_t index) const {
  for (const Option* o = this; o; o = o->parent_.get()) {
    if (o->bitSet(index)) {
      return o;
    }
  }
  return nullptr;
}

bool Option::defined(const Pref* pref) const {
  return findDefining(pref->i) != nullptr;
}

const std::string& Option::get(const Pref* pref) const {
  auto o = findDefining(pref->i);
  return o ? o->table_[pref->i] : QNSTR::NIL;
}

bool Option::blank(const Pref* pref) const {
  auto o = findDefining(pref->i);
  return !o || o->table_[pref->i].empty();
}

bool Option::getAsBool(const Pref* pref) const {
  return get(pref) == QN_V_TRUE;
}

int32_t Option::getAsInt(const Pref* pref) const {
  const auto& value = get(pref);
  if (value.empty()) {
    return 0;
  }
  // Values beyond the 32-bit range saturate instead of wrapping, so that a huge
  // speed limit never turns into 0 (unlimited) or a negative number.
  auto n = std::strtoll(value.c_str(), nullptr, 10);
  return static_cast<int32_t>(std::clamp<long long>(n, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

int64_t Option::getAsLLInt(const Pref* pref) const {
  const auto& value = get(pref);
  return value.empty() ? 0 : std::strtoll(value.c_str(), nullptr, 10);
}

double Option::getAsDouble(const Pref* pref) const {
  const auto& value = get(pref);
  return value.empty() ? 0.0 : std::strtod(value.c_str(), nullptr);
}

bool Option::definedLocal(const Pref* pref) const {
  return bitSet(pref->i);
}

bool Option::emptyLocal() const {
  return std::all_of(use_.begin(), use_.end(), [](unsigned char b) { return b == 0; });
}

}  // namespace quarn
