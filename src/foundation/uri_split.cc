#include "foundation/uri_split.h"

#include <cstring>

#include "foundation/util_chars.h"

namespace quarn {

namespace {

enum State {
  ST_START,
  ST_SCHEME,
  ST_FIRST_SLASH,
  ST_SECOND_SLASH,
  ST_AUTHORITY_START,
  ST_HOST,
  ST_AFTER_COLON,
  ST_PORT_OR_PASSWORD,
  ST_HOST_AFTER_USERINFO,
  ST_HOST_AFTER_AT,
  ST_IPV6_START,
  ST_IPV6,
  ST_AFTER_LITERAL,
  ST_PORT_START,
  ST_PORT,
  ST_PATH,
  ST_QUERY_START,
  ST_QUERY,
  ST_FRAGMENT_START,
  ST_FRAGMENT,
};

constexpr size_t NONE = static_cast<size_t>(-1);

class Splitter {
 public:
  explicit Splitter(const char* text) : text_(text) {}

  bool run(size_t length);
  void fill(uri_split_result* result) const;

 private:
  void setField(uri_split_field field, size_t begin, size_t end) {
    fieldSet_ |= 1u << field;
    begin_[field] = begin;
    end_[field] = end;
  }

  // Splits the authority [authorityStart_, hostEnd) at the marked '@' into user
  // information and host. Fails when no host remains.
  bool endAuthority(size_t hostEnd);
  // Moves to the state that the byte ending the authority opens.
  State afterAuthority(size_t pos, char c);
  bool addDigit(char c) {
    port_ = port_ * 10 + static_cast<uint32_t>(c - '0');
    return port_ <= 65535;
  }

  const char* text_;
  uint32_t fieldSet_ = 0;
  size_t begin_[USR_MAX] = {};
  size_t end_[USR_MAX] = {};
  uint32_t port_ = 0;
  bool ipv6_ = false;
  size_t authorityStart_ = NONE;
  size_t hostStart_ = NONE;
  size_t atPos_ = NONE;
  size_t colonPos_ = NONE;
  size_t pathStart_ = NONE;
  size_t lastSlash_ = NONE;
  size_t queryStart_ = NONE;
  size_t fragmentStart_ = NONE;
};

bool Splitter::endAuthority(size_t hostEnd) {
  size_t hostBegin = authorityStart_;
  if (atPos_ != NONE) {
    setField(USR_USERINFO, authorityStart_, atPos_);
    const void* colon = memchr(text_ + authorityStart_, ':', atPos_ - authorityStart_);
    if (colon) {
      size_t colonAt = static_cast<const char*>(colon) - text_;
      setField(USR_USER, authorityStart_, colonAt);
      setField(USR_PASSWD, colonAt + 1, atPos_);
    } else {
      setField(USR_USER, authorityStart_, atPos_);
    }
    hostBegin = atPos_ + 1;
  }
  if (hostStart_ != NONE) {
    hostBegin = hostStart_;
  }
  if (hostEnd <= hostBegin) {
    return false;
  }
  setField(USR_HOST, hostBegin, hostEnd);
  return true;
}

State Splitter::afterAuthority(size_t pos, char c) {
  switch (c) {
    case '/':
      pathStart_ = pos;
      lastSlash_ = pos;
      return ST_PATH;
    case '?':
      return ST_QUERY_START;
    default:
      return ST_FRAGMENT_START;
  }
}

bool isAuthorityEnd(char c) {
  return c == '/' || c == '?' || c == '#';
}

bool Splitter::run(size_t length) {
  if (length == 0) {
    return false;
  }
  State state = ST_START;
  bool portValid = false;
  for (size_t i = 0; i < length; ++i) {
    char c = text_[i];
    switch (state) {
      case ST_START:
        state = ST_SCHEME;
        break;
      case ST_SCHEME:
        if (c == ':') {
          setField(USR_SCHEME, 0, i);
          state = ST_FIRST_SLASH;
        }
        break;
      case ST_FIRST_SLASH:
      case ST_SECOND_SLASH:
        if (c != '/') {
          return false;
        }
        state = state == ST_FIRST_SLASH ? ST_SECOND_SLASH : ST_AUTHORITY_START;
        break;
      case ST_AUTHORITY_START:
        if (c == '/' || c == ':' || c == '@') {
          return false;
        }
        authorityStart_ = i;
        if (c == '[') {
          state = ST_IPV6_START;
        } else {
          state = ST_HOST;
        }
        break;
      case ST_HOST:
        if (isAuthorityEnd(c)) {
          if (!endAuthority(i)) {
            return false;
          }
          state = afterAuthority(i, c);
        } else if (c == '@') {
          atPos_ = i;
        } else if (c == ':') {
          colonPos_ = i;
          state = ST_AFTER_COLON;
        } else if (c == '[') {
          if (atPos_ == NONE || atPos_ + 1 != i) {
            return false;
          }
          state = ST_IPV6_START;
        }
        break;
      case ST_AFTER_COLON:
        if (c == '@') {
          atPos_ = i;
          state = ST_HOST_AFTER_USERINFO;
        } else if (c == '/') {
          return false;
        } else {
          portValid = util::isDigit(c);
          port_ = portValid ? static_cast<uint32_t>(c - '0') : 0;
          state = ST_PORT_OR_PASSWORD;
        }
        break;
      case ST_PORT_OR_PASSWORD:
        if (util::isDigit(c)) {
          if (portValid) {
            portValid = addDigit(c);
          }
        } else if (c == '@') {
          portValid = false;
          port_ = 0;
          atPos_ = i;
          state = ST_HOST_AFTER_USERINFO;
        } else if (isAuthorityEnd(c)) {
          if (!portValid || !endAuthority(colonPos_)) {
            return false;
          }
          fieldSet_ |= 1u << USR_PORT;
          state = afterAuthority(i, c);
        } else if (c == '[') {
          return false;
        } else {
          portValid = false;
        }
        break;
      case ST_HOST_AFTER_USERINFO:
        if (c == '/' || c == ':') {
          return false;
        }
        hostStart_ = i;
        state = c == '[' ? ST_IPV6_START : ST_HOST_AFTER_AT;
        break;
      case ST_HOST_AFTER_AT:
        if (c == ':') {
          endAuthority(i);
          state = ST_PORT_START;
        } else if (isAuthorityEnd(c)) {
          endAuthority(i);
          state = afterAuthority(i, c);
        }
        break;
      case ST_IPV6_START:
        if (c == ']') {
          return false;
        }
        hostStart_ = i;
        state = ST_IPV6;
        break;
      case ST_IPV6:
        if (c == ']') {
          endAuthority(i);
          ipv6_ = true;
          state = ST_AFTER_LITERAL;
        }
        break;
      case ST_AFTER_LITERAL:
        if (c == ':') {
          state = ST_PORT_START;
        } else if (isAuthorityEnd(c)) {
          state = afterAuthority(i, c);
        } else {
          return false;
        }
        break;
      case ST_PORT_START:
        if (!util::isDigit(c)) {
          return false;
        }
        port_ = static_cast<uint32_t>(c - '0');
        fieldSet_ |= 1u << USR_PORT;
        state = ST_PORT;
        break;
      case ST_PORT:
        if (util::isDigit(c)) {
          if (!addDigit(c)) {
            return false;
          }
        } else if (isAuthorityEnd(c)) {
          state = afterAuthority(i, c);
        } else {
          return false;
        }
        break;
      case ST_PATH:
        if (c == '?' || c == '#') {
          setField(USR_PATH, pathStart_, i);
          state = c == '?' ? ST_QUERY_START : ST_FRAGMENT_START;
        } else if (c == '/') {
          lastSlash_ = i;
        }
        break;
      case ST_QUERY_START:
        if (c == '#') {
          setField(USR_QUERY, i, i);
          state = ST_FRAGMENT_START;
        } else {
          queryStart_ = i;
          state = ST_QUERY;
        }
        break;
      case ST_QUERY:
        if (c == '#') {
          setField(USR_QUERY, queryStart_, i);
          state = ST_FRAGMENT_START;
        }
        break;
      case ST_FRAGMENT_START:
        fragmentStart_ = i;
        state = ST_FRAGMENT;
        break;
      case ST_FRAGMENT:
        break;
    }
  }

  switch (state) {
    case ST_HOST:
      if (atPos_ == length - 1 || !endAuthority(length)) {
        return false;
      }
      break;
    case ST_HOST_AFTER_AT:
      endAuthority(length);
      break;
    case ST_PORT_OR_PASSWORD:
      if (!portValid || !endAuthority(colonPos_)) {
        return false;
      }
      fieldSet_ |= 1u << USR_PORT;
      break;
    case ST_AFTER_LITERAL:
    case ST_PORT:
      break;
    case ST_PATH:
      setField(USR_PATH, pathStart_, length);
      break;
    case ST_QUERY_START:
      setField(USR_QUERY, length, length);
      break;
    case ST_QUERY:
      setField(USR_QUERY, queryStart_, length);
      break;
    case ST_FRAGMENT_START:
      setField(USR_FRAGMENT, length, length);
      break;
    case ST_FRAGMENT:
      setField(USR_FRAGMENT, fragmentStart_, length);
      break;
    default:
      return false;
  }
  if ((fieldSet_ & (1u << USR_PATH)) && end_[USR_PATH] > lastSlash_ + 1) {
    setField(USR_BASENAME, lastSlash_ + 1, end_[USR_PATH]);
  }
  return true;
}

void Splitter::fill(uri_split_result* result) const {
  memset(result, 0, sizeof(*result));
  result->field_set = static_cast<uint16_t>(fieldSet_);
  result->port = static_cast<uint16_t>(port_);
  for (int field = 0; field < USR_MAX; ++field) {
    if (field != USR_PORT && (fieldSet_ & (1u << field))) {
      result->fields[field].off = static_cast<uint16_t>(begin_[field]);
      result->fields[field].len = static_cast<uint16_t>(end_[field] - begin_[field]);
    }
  }
  result->flags = ipv6_ ? USF_IPV6ADDR : 0;
}

}  // namespace

int uri_split(uri_split_result* result, const char* text) {
  size_t length = strnlen(text, URI_SPLIT_MAX_LENGTH);
  if (length >= URI_SPLIT_MAX_LENGTH) {
    return -1;
  }
  Splitter splitter(text);
  if (!splitter.run(length)) {
    return -1;
  }
  if (result) {
    splitter.fill(result);
  }
  return 0;
}

}  // namespace quarn
