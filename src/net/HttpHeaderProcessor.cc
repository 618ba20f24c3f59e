#include "net/HttpHeaderProcessor.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/util_chars.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

enum State {
  PREV_METHOD,
  METHOD,
  PREV_PATH,
  PATH,
  PREV_REQ_VERSION,
  REQ_VERSION,
  PREV_RES_VERSION,
  RES_VERSION,
  PREV_STATUS_CODE,
  STATUS_CODE,
  PREV_REASON_PHRASE,
  REASON_PHRASE,
  PREV_EOL,
  PREV_FIELD_NAME,
  FIELD_NAME,
  PREV_FIELD_VALUE,
  FIELD_VALUE,
  PREV_EOH,
  HEADERS_COMPLETE
};

// Sorted byte-wise; the index of a name is its HttpHeader id.
const char* const INTERESTING_HEADER_NAMES[] = {
    "accept-encoding",
    "access-control-request-headers",
    "access-control-request-method",
    "authorization",
    "connection",
    "content-disposition",
    "content-encoding",
    "content-length",
    "content-range",
    "content-type",
    "digest",
    "infohash",
    "last-modified",
    "link",
    "location",
    "origin",
    "port",
    "retry-after",
    "sec-websocket-key",
    "sec-websocket-version",
    "set-cookie",
    "transfer-encoding",
    "upgrade",
};

static_assert(std::size(INTERESTING_HEADER_NAMES) == HttpHeader::MAX_INTERESTING_HEADER);

bool isLwsByte(unsigned char c) {
  return util::isLws(static_cast<char>(c));
}
bool isCRLFByte(unsigned char c) {
  return util::isCRLF(static_cast<char>(c));
}

// Appends data[i, stop) to buf, where stop is the first byte satisfying
// isStop or the end; returns stop.
template <typename IsStop>
size_t gather(std::string& buf, const unsigned char* data, size_t i, size_t length, IsStop isStop) {
  size_t j = i;
  for (; j < length && !isStop(data[j]); ++j) {
  }
  buf.append(reinterpret_cast<const char*>(data + i), j - i);
  return j;
}

size_t tokenRun(std::string& buf, const unsigned char* data, size_t i, size_t length) {
  return gather(buf, data, i, length,
                [](unsigned char c) { return isLwsByte(c) || isCRLFByte(c); });
}

size_t textRun(std::string& buf, const unsigned char* data, size_t i, size_t length) {
  return gather(buf, data, i, length, isCRLFByte);
}

size_t fieldNameRun(std::string& buf, const unsigned char* data, size_t i, size_t length) {
  return gather(buf, data, i, length,
                [](unsigned char c) { return c == ':' || isLwsByte(c) || isCRLFByte(c); });
}

size_t skipText(const unsigned char* data, size_t i, size_t length) {
  for (; i < length && !isCRLFByte(data[i]); ++i) {
  }
  return i;
}

}  // namespace

int idInterestingHeader(const char* hdName) {
  auto first = std::begin(INTERESTING_HEADER_NAMES);
  auto last = std::end(INTERESTING_HEADER_NAMES);
  auto i = std::lower_bound(first, last, hdName, util::strless);
  if (i != last && std::strcmp(*i, hdName) == 0) {
    return static_cast<int>(i - first);
  }
  return HttpHeader::MAX_INTERESTING_HEADER;
}

HttpHeaderProcessor::HttpHeaderProcessor(ParserMode mode) : mode_(mode) {
  clear();
}

HttpHeaderProcessor::~HttpHeaderProcessor() = default;

void HttpHeaderProcessor::clear() {
  state_ = mode_ == REQUEST_PARSER ? PREV_METHOD : PREV_RES_VERSION;
  lastBytesProcessed_ = 0;
  buf_.clear();
  lastFieldName_.clear();
  lastFieldHdKey_ = HttpHeader::MAX_INTERESTING_HEADER;
  numFields_ = 0;
  result_ = std::make_unique<HttpHeader>();
  headers_.clear();
}

std::unique_ptr<HttpHeader> HttpHeaderProcessor::getResult() {
  return std::move(result_);
}

bool HttpHeaderProcessor::parse(const std::string& text) {
  return parse(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

bool HttpHeaderProcessor::parse(const unsigned char* data, size_t length) {
  lastBytesProcessed_ = 0;
  if (state_ == HEADERS_COMPLETE) {
    return true;
  }
  // Never look further than the head may reach; a head that is still not
  // complete there is too large.
  size_t room = MAX_HEAD_LENGTH - headers_.size();
  size_t avail = std::min(length, room);
  size_t consumed = walk(data, avail);
  if (state_ != HEADERS_COMPLETE && avail < length) {
    throw DL_ABORT_EX(fmt("Too large HTTP header: the head exceeds %zu bytes", MAX_HEAD_LENGTH));
  }
  if (lastFieldName_.size() > MAX_FIELD_NAME_LENGTH || buf_.size() > MAX_VALUE_LENGTH) {
    throw DL_ABORT_EX("Too large HTTP header");
  }
  lastBytesProcessed_ = consumed;
  headers_.append(reinterpret_cast<const char*>(data), consumed);
  if (state_ == HEADERS_COMPLETE && result_->defined(HttpHeader::TRANSFER_ENCODING)) {
    // The transfer coding delimits the body, so Content-Length is void. A
    // Content-Range still says which bytes the body holds and is kept for
    // the range check.
    result_->remove(HttpHeader::CONTENT_LENGTH);
  }
  return state_ == HEADERS_COMPLETE;
}

void HttpHeaderProcessor::storeStatusCode() {
  if (buf_.size() != 3 || !std::all_of(buf_.begin(), buf_.end(), util::isDigit) || buf_ < "100") {
    throw DL_ABORT_EX("Bad status code: bad status-code");
  }
  result_->setStatusCode((buf_[0] - '0') * 100 + (buf_[1] - '0') * 10 + (buf_[2] - '0'));
  buf_.clear();
}

void HttpHeaderProcessor::flushField() {
  if (!lastFieldName_.empty() && lastFieldHdKey_ != HttpHeader::MAX_INTERESTING_HEADER) {
    result_->put(lastFieldHdKey_, util::strip(buf_));
  }
  lastFieldName_.clear();
  lastFieldHdKey_ = HttpHeader::MAX_INTERESTING_HEADER;
  buf_.clear();
}

void HttpHeaderProcessor::beginFieldName() {
  if (++numFields_ > MAX_FIELDS) {
    throw DL_ABORT_EX(fmt("Too many HTTP header fields: more than %zu", MAX_FIELDS));
  }
}

void HttpHeaderProcessor::endFieldName() {
  util::lowercase(lastFieldName_);
  lastFieldHdKey_ = idInterestingHeader(lastFieldName_.c_str());
}

size_t HttpHeaderProcessor::walk(const unsigned char* data, size_t length) {
  size_t i = 0;
  while (i < length && state_ != HEADERS_COMPLETE) {
    unsigned char c = data[i];
    bool lws = isLwsByte(c);
    bool cr = c == '\r';
    bool lf = c == '\n';
    switch (state_) {
      case PREV_METHOD:
        if (lws || cr || lf) {
          throw DL_ABORT_EX("Bad Request-Line: missing method");
        }
        state_ = METHOD;
        break;
      case METHOD:
        if (lws) {
          result_->setMethod(std::move(buf_));
          buf_.clear();
          state_ = PREV_PATH;
          ++i;
        } else if (cr || lf) {
          throw DL_ABORT_EX("Bad Request-Line: missing request-target");
        } else {
          i = tokenRun(buf_, data, i, length);
        }
        break;
      case PREV_PATH:
        if (lws) {
          ++i;
        } else if (cr || lf) {
          throw DL_ABORT_EX("Bad Request-Line: missing request-target");
        } else {
          state_ = PATH;
        }
        break;
      case PATH:
        if (lws) {
          result_->setRequestPath(std::move(buf_));
          buf_.clear();
          state_ = PREV_REQ_VERSION;
          ++i;
        } else if (cr || lf) {
          throw DL_ABORT_EX("Bad Request-Line: missing HTTP-version");
        } else {
          i = tokenRun(buf_, data, i, length);
        }
        break;
      case PREV_REQ_VERSION:
        if (lws) {
          ++i;
        } else if (cr || lf) {
          throw DL_ABORT_EX("Bad Request-Line: missing HTTP-version");
        } else {
          state_ = REQ_VERSION;
        }
        break;
      case REQ_VERSION:
        if (lws) {
          throw DL_ABORT_EX("Bad Request-Line: LWS after HTTP-version");
        } else if (cr || lf) {
          result_->setVersion(std::move(buf_));
          buf_.clear();
          state_ = cr ? PREV_EOL : PREV_FIELD_NAME;
          ++i;
        } else {
          i = tokenRun(buf_, data, i, length);
        }
        break;
      case PREV_RES_VERSION:
        if (lws || cr || lf) {
          throw DL_ABORT_EX("Bad Status-Line: missing HTTP-version");
        }
        state_ = RES_VERSION;
        break;
      case RES_VERSION:
        if (lws) {
          result_->setVersion(std::move(buf_));
          buf_.clear();
          state_ = PREV_STATUS_CODE;
          ++i;
        } else if (cr || lf) {
          throw DL_ABORT_EX("Bad Status-Line: missing status-code");
        } else {
          i = tokenRun(buf_, data, i, length);
        }
        break;
      case PREV_STATUS_CODE:
        if (lws) {
          ++i;
        } else if (cr || lf) {
          throw DL_ABORT_EX("Bad Status-Line: missing status-code");
        } else {
          state_ = STATUS_CODE;
        }
        break;
      case STATUS_CODE:
        if (lws || cr || lf) {
          storeStatusCode();
          state_ = lws ? PREV_REASON_PHRASE : cr ? PREV_EOL : PREV_FIELD_NAME;
          ++i;
        } else {
          i = tokenRun(buf_, data, i, length);
        }
        break;
      case PREV_REASON_PHRASE:
        if (lws) {
          ++i;
        } else if (cr || lf) {
          state_ = cr ? PREV_EOL : PREV_FIELD_NAME;
          ++i;
        } else {
          state_ = REASON_PHRASE;
        }
        break;
      case REASON_PHRASE:
        if (cr || lf) {
          result_->setReasonPhrase(std::move(buf_));
          buf_.clear();
          state_ = cr ? PREV_EOL : PREV_FIELD_NAME;
          ++i;
        } else {
          i = textRun(buf_, data, i, length);
        }
        break;
      case PREV_EOL:
        if (!lf) {
          throw DL_ABORT_EX("Bad HTTP header: missing LF");
        }
        state_ = PREV_FIELD_NAME;
        ++i;
        break;
      case PREV_FIELD_NAME:
        if (lws) {
          if (lastFieldName_.empty()) {
            throw DL_ABORT_EX("Bad HTTP header: field name starts with LWS");
          }
          // A continuation line: its first whitespace byte is dropped.
          state_ = FIELD_VALUE;
          ++i;
          break;
        }
        flushField();
        if (cr || lf) {
          state_ = cr ? PREV_EOH : HEADERS_COMPLETE;
          ++i;
        } else if (c == ':') {
          throw DL_ABORT_EX("Bad HTTP header: field name starts with ':'");
        } else {
          beginFieldName();
          state_ = FIELD_NAME;
        }
        break;
      case FIELD_NAME:
        if (lws || cr || lf) {
          throw DL_ABORT_EX("Bad HTTP header: missing ':'");
        } else if (c == ':') {
          endFieldName();
          state_ = PREV_FIELD_VALUE;
          ++i;
        } else {
          i = fieldNameRun(lastFieldName_, data, i, length);
        }
        break;
      case PREV_FIELD_VALUE:
        if (lws) {
          ++i;
        } else if (cr || lf) {
          state_ = cr ? PREV_EOL : PREV_FIELD_NAME;
          ++i;
        } else {
          state_ = FIELD_VALUE;
        }
        break;
      case FIELD_VALUE:
        if (cr || lf) {
          state_ = cr ? PREV_EOL : PREV_FIELD_NAME;
          ++i;
        } else if (lastFieldHdKey_ == HttpHeader::MAX_INTERESTING_HEADER) {
          i = skipText(data, i, length);
        } else {
          i = textRun(buf_, data, i, length);
        }
        break;
      case PREV_EOH:
        if (!lf) {
          throw DL_ABORT_EX("Bad HTTP header: missing LF at the end of the header");
        }
        state_ = HEADERS_COMPLETE;
        ++i;
        break;
    }
  }
  return i;
}

}  // namespace quarn
