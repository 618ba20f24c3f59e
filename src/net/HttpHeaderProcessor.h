#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "net/HttpHeader.h"

namespace quarn {

// Incremental parser of an HTTP/1.x message head (start line and header
// fields up to the empty line). Fed chunks of any size; keeps only the
// interesting fields and the raw text of the head.
class HttpHeaderProcessor {
 public:
  enum ParserMode { RESPONSE_PARSER, REQUEST_PARSER };

  // A head larger than this, or with more fields than MAX_FIELDS, is refused
  // so that a peer cannot grow our memory without bound.
  static constexpr size_t MAX_HEAD_LENGTH = 65536;
  static constexpr size_t MAX_FIELDS = 256;
  static constexpr size_t MAX_FIELD_NAME_LENGTH = 1024;
  static constexpr size_t MAX_VALUE_LENGTH = 8192;

  explicit HttpHeaderProcessor(ParserMode mode);
  ~HttpHeaderProcessor();
  HttpHeaderProcessor(const HttpHeaderProcessor&) = delete;
  HttpHeaderProcessor& operator=(const HttpHeaderProcessor&) = delete;

  // True when the head is complete; throws DlAbortEx on a malformed or
  // oversized head.
  bool parse(const unsigned char* data, size_t length);
  bool parse(const std::string& text);

  // Bytes of the last parse call that belonged to the head.
  size_t getLastBytesProcessed() const { return lastBytesProcessed_; }

  std::unique_ptr<HttpHeader> getResult();
  std::string getHeaderString() const { return headers_; }
  void clear();

 private:
  size_t walk(const unsigned char* data, size_t length);
  void storeStatusCode();
  void flushField();
  void beginFieldName();
  void endFieldName();

  ParserMode mode_;
  int state_;
  size_t lastBytesProcessed_;
  std::string buf_;
  std::string lastFieldName_;
  int lastFieldHdKey_;
  size_t numFields_;
  std::unique_ptr<HttpHeader> result_;
  std::string headers_;
};

// The id of a lower-case header name, or HttpHeader::MAX_INTERESTING_HEADER.
int idInterestingHeader(const char* hdName);

}  // namespace quarn
