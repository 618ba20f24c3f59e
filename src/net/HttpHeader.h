#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "net/Range.h"

namespace quarn {

// One parsed HTTP message head: the start-line fields and the values of the
// header fields the program cares about, keyed by header id.
class HttpHeader {
 public:
  // Ids of the interesting header fields: the index of the lower-case name in
  // HttpHeaderProcessor's sorted name table. MAX_INTERESTING_HEADER stands for
  // every other field.
  enum InterestingHeader {
    ACCEPT_ENCODING,
    ACCESS_CONTROL_REQUEST_HEADERS,
    ACCESS_CONTROL_REQUEST_METHOD,
    AUTHORIZATION,
    CONNECTION,
    CONTENT_DISPOSITION,
    CONTENT_ENCODING,
    CONTENT_LENGTH,
    CONTENT_RANGE,
    CONTENT_TYPE,
    DIGEST,
    INFOHASH,
    LAST_MODIFIED,
    LINK,
    LOCATION,
    ORIGIN,
    PORT,
    RETRY_AFTER,
    SEC_WEBSOCKET_KEY,
    SEC_WEBSOCKET_VERSION,
    SET_COOKIE,
    TRANSFER_ENCODING,
    UPGRADE,
    MAX_INTERESTING_HEADER
  };

  using Table = std::multimap<int, std::string>;

  void put(int hdKey, const std::string& value);
  void remove(int hdKey);
  bool defined(int hdKey) const;
  // The first value of the id, or an empty string.
  const std::string& find(int hdKey) const;
  std::vector<std::string> findAll(int hdKey) const;
  std::pair<Table::const_iterator, Table::const_iterator> equalRange(int hdKey) const;
  void clearField();

  // True when some comma-separated item of some value of the id equals the
  // token, ignoring ASCII case.
  bool fieldContains(int hdKey, const char* token) const;
  bool isKeepAlive() const;

  // The range of the body from Content-Range, else from Content-Length.
  Range getRange() const;

  int getStatusCode() const { return statusCode_; }
  void setStatusCode(int code) { statusCode_ = code; }
  const std::string& getReasonPhrase() const { return reasonPhrase_; }
  void setReasonPhrase(std::string s) { reasonPhrase_ = std::move(s); }
  const std::string& getVersion() const { return version_; }
  void setVersion(std::string s) { version_ = std::move(s); }
  const std::string& getMethod() const { return method_; }
  void setMethod(std::string s) { method_ = std::move(s); }
  const std::string& getRequestPath() const { return requestPath_; }
  void setRequestPath(std::string s) { requestPath_ = std::move(s); }

 private:
  Range rangeFromContentLength() const;

  Table table_;
  int statusCode_ = 0;
  std::string reasonPhrase_;
  std::string version_;
  std::string method_;
  std::string requestPath_;
};

}  // namespace quarn
