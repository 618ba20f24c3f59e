#pragma once

#include <cstddef>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>

namespace quarn {

namespace util {

// The characters that the split family trims: CR, LF, TAB and space.
inline constexpr char DEFAULT_STRIP_CHARSET[] = "\r\n\t ";

namespace detail {

// NUL is never a member: strchr would otherwise match the set's terminator.
inline bool inCharSet(char c, const char* chars) {
  return c != '\0' && std::strchr(chars, c);
}

}  // namespace detail

template <typename InputIterator>
std::pair<InputIterator, InputIterator> stripIter(InputIterator first, InputIterator last,
                                                  const char* chars = DEFAULT_STRIP_CHARSET) {
  for (; first != last && detail::inCharSet(*first, chars); ++first) {
  }
  if (first == last) {
    return {first, last};
  }
  InputIterator left = last;
  --left;
  for (; left != first && detail::inCharSet(*left, chars); --left) {
  }
  return {first, ++left};
}

std::string strip(const std::string& str, const char* chars = DEFAULT_STRIP_CHARSET);

namespace detail {

// Walks the items of [first, last) as split by `isDelim`, calling `emit(b, e)`
// for every item that is kept.
template <typename InputIterator, typename IsDelim, typename Emit>
void forEachItem(InputIterator first, InputIterator last, IsDelim isDelim, bool doStrip,
                 bool allowEmpty, Emit emit) {
  if (first == last) {
    if (allowEmpty) {
      emit(last, last);
    }
    return;
  }
  InputIterator begin = first;
  bool endsWithDelim = false;
  while (begin != last) {
    InputIterator end = begin;
    for (; end != last && !isDelim(*end); ++end) {
    }
    std::pair<InputIterator, InputIterator> item(begin, end);
    if (doStrip) {
      item = stripIter(begin, end);
    }
    if (allowEmpty || item.first != item.second) {
      emit(item.first, item.second);
    }
    if (end == last) {
      break;
    }
    begin = end;
    ++begin;
    endsWithDelim = begin == last;
  }
  if (allowEmpty && endsWithDelim) {
    emit(last, last);
  }
}

}  // namespace detail

// Appends each item as a string to `out`.
template <typename InputIterator, typename OutputIterator>
OutputIterator split(InputIterator first, InputIterator last, OutputIterator out, char delim,
                     bool doStrip = false, bool allowEmpty = false) {
  detail::forEachItem(
      first, last, [delim](char c) { return c == delim; }, doStrip, allowEmpty,
      [&out](InputIterator b, InputIterator e) { *out++ = std::string(b, e); });
  return out;
}

// Appends each item as a (begin, end) pair into the input, without copying.
template <typename InputIterator, typename OutputIterator>
OutputIterator splitIter(InputIterator first, InputIterator last, OutputIterator out, char delim,
                         bool doStrip = false, bool allowEmpty = false) {
  detail::forEachItem(
      first, last, [delim](char c) { return c == delim; }, doStrip, allowEmpty,
      [&out](InputIterator b, InputIterator e) { *out++ = std::make_pair(b, e); });
  return out;
}

// As splitIter, but any character of `delims` ends an item.
template <typename InputIterator, typename OutputIterator>
OutputIterator splitIterM(InputIterator first, InputIterator last, OutputIterator out,
                          const char* delims, bool doStrip = false, bool allowEmpty = false) {
  detail::forEachItem(
      first, last, [delims](char c) { return detail::inCharSet(c, delims); }, doStrip, allowEmpty,
      [&out](InputIterator b, InputIterator e) { *out++ = std::make_pair(b, e); });
  return out;
}

// Cuts [first, last) at the first `delim`: the text before it and the text
// after it. Without a delimiter the second part is empty, positioned at last.
template <typename InputIterator>
std::pair<std::pair<InputIterator, InputIterator>, std::pair<InputIterator, InputIterator>> divide(
    InputIterator first, InputIterator last, char delim, bool doStrip = true) {
  InputIterator dpos = first;
  for (; dpos != last && *dpos != delim; ++dpos) {
  }
  std::pair<InputIterator, InputIterator> head(first, dpos);
  std::pair<InputIterator, InputIterator> tail(last, last);
  if (dpos != last) {
    tail.first = dpos;
    ++tail.first;
  }
  if (doStrip) {
    head = stripIter(head.first, head.second);
    tail = stripIter(tail.first, tail.second);
  }
  return {head, tail};
}

// Reads the next "name=value" parameter of a list separated by `delim`,
// starting at `first`. Name and value are stripped; quotes are kept. Without
// '=' the whole item is the name and the value is empty. Items with an empty
// name are passed over. Returns the position just past the delimiter that
// ended the item (or `last`) and whether a parameter was found.
template <typename InputIterator>
std::pair<InputIterator, bool> nextParam(std::string& name, std::string& value, InputIterator first,
                                         InputIterator last, char delim) {
  while (first != last) {
    InputIterator end = first;
    for (; end != last && *end != delim; ++end) {
    }
    auto param = divide(first, end, '=');
    first = end;
    if (first != last) {
      ++first;
    }
    if (param.first.first != param.first.second) {
      name.assign(param.first.first, param.first.second);
      value.assign(param.second.first, param.second.second);
      return {first, true};
    }
  }
  return {first, false};
}

std::string replace(const std::string& target, const std::string& oldstr,
                    const std::string& newstr);

bool startsWith(const std::string& a, const char* b);
bool startsWith(const std::string& a, const std::string& b);
bool endsWith(const std::string& a, const char* b);
bool endsWith(const std::string& a, const std::string& b);

constexpr char toUpperChar(char c) {
  return 'a' <= c && c <= 'z' ? c - 'a' + 'A' : c;
}
constexpr char toLowerChar(char c) {
  return 'A' <= c && c <= 'Z' ? c - 'A' + 'a' : c;
}

std::string toUpper(std::string src);
std::string toLower(std::string src);
void uppercase(std::string& s);
void lowercase(std::string& s);

// Case-insensitive forms fold only the ASCII letters.
template <typename InputIterator1, typename InputIterator2>
bool istartsWith(InputIterator1 first1, InputIterator1 last1, InputIterator2 first2,
                 InputIterator2 last2) {
  for (; first2 != last2; ++first1, ++first2) {
    if (first1 == last1 || toLowerChar(*first1) != toLowerChar(*first2)) {
      return false;
    }
  }
  return true;
}

template <typename InputIterator>
bool istartsWith(InputIterator first, InputIterator last, const char* b) {
  return istartsWith(first, last, b, b + std::strlen(b));
}

bool istartsWith(const std::string& a, const char* b);
bool istartsWith(const std::string& a, const std::string& b);

template <typename InputIterator1, typename InputIterator2>
bool iendsWith(InputIterator1 first1, InputIterator1 last1, InputIterator2 first2,
               InputIterator2 last2) {
  auto len1 = std::distance(first1, last1);
  auto len2 = std::distance(first2, last2);
  if (len1 < len2) {
    return false;
  }
  std::advance(first1, len1 - len2);
  return istartsWith(first1, last1, first2, last2);
}

template <typename InputIterator>
bool iendsWith(InputIterator first, InputIterator last, const char* b) {
  return iendsWith(first, last, b, b + std::strlen(b));
}

bool iendsWith(const std::string& a, const char* b);
bool iendsWith(const std::string& a, const std::string& b);

template <typename InputIterator1, typename InputIterator2>
bool strieq(InputIterator1 first1, InputIterator1 last1, InputIterator2 first2,
            InputIterator2 last2) {
  for (; first1 != last1 && first2 != last2; ++first1, ++first2) {
    if (toLowerChar(*first1) != toLowerChar(*first2)) {
      return false;
    }
  }
  return first1 == last1 && first2 == last2;
}

template <typename InputIterator>
bool strieq(InputIterator first, InputIterator last, const char* b) {
  return strieq(first, last, b, b + std::strlen(b));
}

bool strieq(const std::string& a, const char* b);
bool strieq(const std::string& a, const std::string& b);

// An ordering for tables of NUL-terminated strings.
bool strless(const char* a, const char* b);

std::string toHex(const unsigned char* src, size_t len);
std::string toHex(const char* src, size_t len);
std::string toHex(const std::string& src);

// 0-15 for a hexadecimal digit of either case, 255 for any other byte.
unsigned int hexCharToUInt(unsigned char ch);

// True when every character is a hexadecimal digit; true for the empty string.
bool isHexDigit(const std::string& s);

// The bytes that the hexadecimal text stands for; empty when the text has an
// odd length or holds a non-digit.
template <typename InputIterator>
std::string fromHex(InputIterator first, InputIterator last) {
  std::string dest;
  if (std::distance(first, last) % 2) {
    return dest;
  }
  while (first != last) {
    unsigned int high = hexCharToUInt(*first++);
    unsigned int low = hexCharToUInt(*first++);
    if (high == 255 || low == 255) {
      return std::string();
    }
    dest += static_cast<char>(high * 16 + low);
  }
  return dest;
}

std::string makeString(const char* str);
std::string safeStrerror(int errNum);

}  // namespace util

template <typename InputIterator>
std::string strjoin(InputIterator first, InputIterator last, const char* separator) {
  std::string result;
  for (InputIterator i = first; i != last; ++i) {
    if (i != first) {
      result += separator;
    }
    result += *i;
  }
  return result;
}

template <typename InputIterator, typename UnaryOp>
std::string strjoin(InputIterator first, InputIterator last, const char* separator, UnaryOp op) {
  std::string result;
  for (InputIterator i = first; i != last; ++i) {
    if (i != first) {
      result += separator;
    }
    result += op(*i);
  }
  return result;
}

}  // namespace quarn
