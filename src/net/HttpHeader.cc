#include "net/HttpHeader.h"

#include "foundation/DlAbortEx.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

const std::string EMPTY;

}  // namespace

void HttpHeader::put(int hdKey, const std::string& value) {
  // A multimap inserts equal keys after the existing ones, keeping their order.
  table_.emplace(hdKey, value);
}

void HttpHeader::remove(int hdKey) {
  table_.erase(hdKey);
}

bool HttpHeader::defined(int hdKey) const {
  return table_.count(hdKey) != 0;
}

const std::string& HttpHeader::find(int hdKey) const {
  auto i = table_.find(hdKey);
  return i == table_.end() ? EMPTY : i->second;
}

std::vector<std::string> HttpHeader::findAll(int hdKey) const {
  std::vector<std::string> values;
  auto [first, last] = table_.equal_range(hdKey);
  for (; first != last; ++first) {
    values.push_back(first->second);
  }
  return values;
}

std::pair<HttpHeader::Table::const_iterator, HttpHeader::Table::const_iterator>
HttpHeader::equalRange(int hdKey) const {
  return table_.equal_range(hdKey);
}

void HttpHeader::clearField() {
  table_.clear();
}

bool HttpHeader::fieldContains(int hdKey, const char* token) const {
  auto [first, last] = table_.equal_range(hdKey);
  for (; first != last; ++first) {
    const std::string& value = first->second;
    std::vector<std::pair<std::string::const_iterator, std::string::const_iterator>> items;
    util::splitIter(value.begin(), value.end(), std::back_inserter(items), ',', true);
    for (const auto& item : items) {
      if (util::strieq(item.first, item.second, token)) {
        return true;
      }
    }
  }
  return false;
}

bool HttpHeader::isKeepAlive() const {
  const std::string& connection = find(CONNECTION);
  if (util::strieq(connection, "close")) {
    return false;
  }
  return version_ == "HTTP/1.1" || util::strieq(connection, "keep-alive");
}

Range HttpHeader::rangeFromContentLength() const {
  const std::string& value = find(CONTENT_LENGTH);
  if (value.empty()) {
    return Range();
  }
  int64_t length;
  if (!util::parseLLIntNoThrow(length, value) || length < 0) {
    throw DL_ABORT_EX("Content-Length must be positive integer");
  }
  return length == 0 ? Range() : Range(0, length - 1, length);
}

Range HttpHeader::getRange() const {
  const std::string& value = find(CONTENT_RANGE);
  if (value.empty()) {
    return rangeFromContentLength();
  }
  size_t rangeBegin = 0;
  size_t space = value.find(' ');
  if (space != std::string::npos) {
    rangeBegin = value.find_first_not_of(" \t", space + 1);
    if (rangeBegin == std::string::npos) {
      return Range();
    }
  } else {
    size_t eq = value.find('=');
    if (eq != std::string::npos) {
      rangeBegin = eq + 1;
    }
  }
  size_t slash = value.find('/', rangeBegin);
  if (slash == std::string::npos || slash + 1 == value.size()) {
    return Range();
  }
  std::string byteRange = value.substr(rangeBegin, slash - rangeBegin);
  std::string entity = value.substr(slash + 1);
  if (byteRange == "*" || entity == "*") {
    return Range();
  }
  size_t minus = byteRange.find('-');
  if (minus == std::string::npos) {
    return Range();
  }
  int64_t startByte, endByte, entityLength;
  if (!util::parseLLIntNoThrow(startByte, byteRange.substr(0, minus)) ||
      !util::parseLLIntNoThrow(endByte, byteRange.substr(minus + 1)) ||
      !util::parseLLIntNoThrow(entityLength, entity) || startByte < 0 || endByte < 0 ||
      entityLength < 0) {
    throw DL_ABORT_EX("byte-range-spec must be positive");
  }
  return Range(startByte, endByte, entityLength);
}

}  // namespace quarn
