#pragma once

#include <cstdint>

namespace quarn {

// Fields of a split URI; bit i of uri_split_result::field_set stands for field i.
enum uri_split_field {
  USR_SCHEME,
  USR_HOST,
  USR_PORT,
  USR_PATH,
  USR_QUERY,
  USR_FRAGMENT,
  USR_USERINFO,
  USR_USER,
  USR_PASSWD,
  USR_BASENAME,
  USR_MAX
};

// uri_split_result::flags bit: the host was written as a bracketed IPv6 literal.
enum uri_split_flag { USF_IPV6ADDR = 1 };

// Texts of this many bytes or more cannot be described by the 16-bit fields.
constexpr uint32_t URI_SPLIT_MAX_LENGTH = 65536;

struct uri_split_result {
  uint16_t field_set;
  uint16_t port;
  struct {
    uint16_t off;
    uint16_t len;
  } fields[USR_MAX];
  uint8_t flags;
};

// Splits the NUL-terminated text into offsets of its parts. Returns 0 on
// success and -1 when the text is no acceptable URI or is too long for the
// result's 16-bit offsets. result may be null to check validity only; it is
// not written on failure.
int uri_split(uri_split_result* result, const char* text);

}  // namespace quarn
