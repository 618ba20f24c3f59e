#include "fetchprobe/utf8.h"

namespace quarn {
namespace utf8 {

namespace {

constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";

struct LeadByte {
  size_t length;            // 0 when the byte cannot start a sequence
  unsigned char secondMin;  // the second byte's range excludes overlong forms,
  unsigned char secondMax;  // surrogates and values above U+10FFFF
};

LeadByte classify(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF)
    return {2, 0x80, 0xBF};
  if (b == 0xE0)
    return {3, 0xA0, 0xBF};
  if (b == 0xED)
    return {3, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF)
    return {3, 0x80, 0xBF};
  if (b == 0xF0)
    return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3)
    return {4, 0x80, 0xBF};
  if (b == 0xF4)
    return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

// Length of the well-formed sequence starting at pos, or 0 with badLength set
// to the number of bytes that make up the maximal invalid subpart.
size_t sequenceAt(std::string_view bytes, size_t pos, size_t& badLength) {
  auto lead = static_cast<unsigned char>(bytes[pos]);
  if (lead < 0x80)
    return 1;
  LeadByte info = classify(lead);
  badLength = 1;
  if (info.length == 0)
    return 0;
  for (size_t i = 1; i < info.length; ++i) {
    if (pos + i >= bytes.size())
      return 0;
    auto b = static_cast<unsigned char>(bytes[pos + i]);
    unsigned char min = i == 1 ? info.secondMin : 0x80;
    unsigned char max = i == 1 ? info.secondMax : 0xBF;
    if (b < min || b > max)
      return 0;
    badLength = i + 1;
  }
  return info.length;
}

}  // namespace

size_t sequenceLength(std::string_view bytes, size_t pos) {
  size_t badLength = 0;
  return sequenceAt(bytes, pos, badLength);
}

char32_t codePointAt(std::string_view bytes, size_t pos, size_t length) {
  static constexpr unsigned char LEAD_MASK[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t value = static_cast<unsigned char>(bytes[pos]) & LEAD_MASK[length];
  for (size_t i = 1; i < length; ++i) {
    value = (value << 6) | (static_cast<unsigned char>(bytes[pos + i]) & 0x3F);
  }
  return value;
}

std::string decodeLossy(std::string_view bytes, size_t maxChars) {
  std::string out;
  size_t pos = 0;
  for (size_t chars = 0; chars < maxChars && pos < bytes.size(); ++chars) {
    size_t badLength = 0;
    size_t length = sequenceAt(bytes, pos, badLength);
    if (length > 0) {
      out.append(bytes.substr(pos, length));
      pos += length;
    } else {
      out.append(REPLACEMENT);
      pos += badLength;
    }
  }
  return out;
}

}  // namespace utf8
}  // namespace quarn
