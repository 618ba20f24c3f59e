#include "client/http/HttpResponse.h"

#include "client/common/userinfo.h"
#include "client/cookie/CookieStorage.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "foundation/Logger.h"
#include "foundation/MessageDigest.h"
#include "foundation/base64.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_chars.h"
#include "foundation/util_content_disposition.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"
#include "metalink/MetalinkHttpEntry.h"
#include "storage/Checksum.h"
#include "storage/ChunkedDecodingStreamFilter.h"
#include "storage/GZipDecodingStreamFilter.h"
#include "storage/HashTypeStronger.h"
#include "storage/Request.h"

#include <algorithm>

namespace quarn {

namespace {

bool isRedirectStatus(int code) {
  return code == 300 || code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

// The mirror of one Link value: "<URI>; rel=duplicate; pri=N; geo=CC; pref".
// False when the value names no mirror.
bool parseMetalinkHttpLink(MetalinkHttpEntry& result, const std::string& s) {
  auto first = std::find(s.begin(), s.end(), '<');
  if (first == s.end()) {
    return false;
  }
  auto last = std::find(first, s.end(), '>');
  if (last == s.end()) {
    return false;
  }
  auto uri = util::stripIter(first + 1, last);
  if (uri.first == uri.second) {
    return false;
  }
  result.uri.assign(uri.first, uri.second);
  auto paramPos = std::find(last, s.end(), ';');
  if (paramPos != s.end()) {
    ++paramPos;
  }
  bool mirror = false;
  std::string name, value;
  for (;;) {
    auto r = util::nextParam(name, value, paramPos, s.end(), ';');
    if (!r.second) {
      break;
    }
    paramPos = r.first;
    if (value.empty()) {
      if (name == "pref") {
        result.pref = true;
      }
    } else if (name == "rel") {
      mirror = value == "duplicate";
    } else if (name == "pri") {
      int32_t pri;
      if (util::parseIntNoThrow(pri, value) && 1 <= pri && pri <= 999999) {
        result.pri = pri;
      }
    } else if (name == "geo") {
      util::lowercase(value);
      result.geo = value;
    }
  }
  return mirror;
}

}  // namespace

HttpResponse::HttpResponse() : cuid_(0) {}

HttpResponse::~HttpResponse() = default;

int HttpResponse::getStatusCode() const {
  return httpHeader_->getStatusCode();
}

// A Transfer-Encoding only says how the body is delimited, not which bytes it
// holds, so the range is checked whatever the coding. Without a Content-Range
// such an answer carries the entity from its first byte.
bool HttpResponse::rangeSatisfied() const {
  if (httpHeader_->defined(HttpHeader::TRANSFER_ENCODING) &&
      !httpHeader_->defined(HttpHeader::CONTENT_RANGE)) {
    return httpRequest_->getStartByte() == 0;
  }
  return httpRequest_->isRangeSatisfied(httpHeader_->getRange());
}

void HttpResponse::validateResponse() const {
  int statusCode = getStatusCode();
  if (isRedirectStatus(statusCode)) {
    if (!httpHeader_->defined(HttpHeader::LOCATION)) {
      throw DL_ABORT_EX(fmt(_("Got %d status, but no location header provided."), statusCode),
                        error_code::HTTP_PROTOCOL_ERROR);
    }
    return;
  }
  if (statusCode == 304) {
    if (!httpRequest_->conditionalRequest()) {
      throw DL_ABORT_EX("Got 304 without If-Modified-Since or If-None-Match",
                        error_code::HTTP_PROTOCOL_ERROR);
    }
    return;
  }
  if (statusCode == 200 || statusCode == 206) {
    if (!rangeSatisfied()) {
      Range request = httpRequest_->getRange();
      Range response = httpHeader_->getRange();
      throw DL_ABORT_EX(fmt("Invalid range header. Request: %lld-%lld/%lld, Response: "
                            "%lld-%lld/%lld",
                            static_cast<long long>(request.getStartByte()),
                            static_cast<long long>(request.getEndByte()),
                            static_cast<long long>(request.getEntityLength()),
                            static_cast<long long>(response.getStartByte()),
                            static_cast<long long>(response.getEndByte()),
                            static_cast<long long>(response.getEntityLength())),
                        error_code::CANNOT_RESUME);
    }
    return;
  }
  if (statusCode >= 400) {
    return;
  }
  throw DL_ABORT_EX(fmt("Unexpected status %d", statusCode), error_code::HTTP_PROTOCOL_ERROR);
}

bool HttpResponse::isRedirect() const {
  return isRedirectStatus(getStatusCode()) && httpHeader_->defined(HttpHeader::LOCATION);
}

const std::string& HttpResponse::getRedirectURI() const {
  return httpHeader_->find(HttpHeader::LOCATION);
}

void HttpResponse::processRedirect() {
  const auto& request = httpRequest_->getRequest();
  // The log and the error never show a password the target may carry.
  if (request->redirectUri(util::percentEncodeMini(getRedirectURI()))) {
    QLOG_NOTICE(fmt("CUID#%lld - Redirecting to %s", static_cast<long long>(cuid_),
                    userinfo::erase(request->getCurrentUri()).c_str()));
    return;
  }
  throw DL_RETRY_EX(fmt("CUID#%lld - Redirect to %s failed. It may not be a valid URI.",
                        static_cast<long long>(cuid_),
                        userinfo::erase(request->getCurrentUri()).c_str()));
}

std::string HttpResponse::determineFilename(bool contentDispositionUtf8) const {
  std::string disposition = util::getContentDispositionFilename(
      httpHeader_->find(HttpHeader::CONTENT_DISPOSITION), contentDispositionUtf8);
  if (!disposition.empty()) {
    QLOG_INFO(fmt("CUID#%lld - Content-Disposition detected. Use %s as filename",
                  static_cast<long long>(cuid_), disposition.c_str()));
    return disposition;
  }
  const std::string& file = httpRequest_->getFile();
  std::string name = util::percentDecode(file.begin(), file.end());
  return name.empty() ? Request::DEFAULT_FILE : name;
}

void HttpResponse::retrieveCookie() {
  CookieStorage* storage = httpRequest_->getCookieStorage();
  if (!storage) {
    return;
  }
  int64_t now = Time().getTimeFromEpoch();
  auto [first, last] = httpHeader_->equalRange(HttpHeader::SET_COOKIE);
  for (; first != last; ++first) {
    storage->parseAndStore(first->second, httpRequest_->getHost(), httpRequest_->getDir(), now);
  }
}

bool HttpResponse::isTransferEncodingSpecified() const {
  return httpHeader_->defined(HttpHeader::TRANSFER_ENCODING);
}

const std::string& HttpResponse::getTransferEncoding() const {
  return httpHeader_->find(HttpHeader::TRANSFER_ENCODING);
}

std::unique_ptr<StreamFilter> HttpResponse::getTransferEncodingStreamFilter() const {
  if (isTransferEncodingSpecified() && util::strieq(getTransferEncoding(), "chunked")) {
    return std::make_unique<ChunkedDecodingStreamFilter>();
  }
  return nullptr;
}

bool HttpResponse::isContentEncodingSpecified() const {
  return httpHeader_->defined(HttpHeader::CONTENT_ENCODING);
}

const std::string& HttpResponse::getContentEncoding() const {
  return httpHeader_->find(HttpHeader::CONTENT_ENCODING);
}

std::unique_ptr<StreamFilter> HttpResponse::getContentEncodingStreamFilter() const {
  const std::string& encoding = getContentEncoding();
  if (util::strieq(encoding, "gzip") || util::strieq(encoding, "deflate")) {
    return std::make_unique<GZipDecodingStreamFilter>();
  }
  return nullptr;
}

int64_t HttpResponse::getContentLength() const {
  if (!httpHeader_) {
    return 0;
  }
  // An unknown range (no length given, or Content-Length 0) has no bytes; the
  // default range would otherwise count as one byte.
  Range range = httpHeader_->getRange();
  return range == Range() ? 0 : range.getContentLength();
}

int64_t HttpResponse::getEntityLength() const {
  return httpHeader_ ? httpHeader_->getRange().getEntityLength() : 0;
}

std::string HttpResponse::getContentType() const {
  if (!httpHeader_) {
    return "";
  }
  const std::string& value = httpHeader_->find(HttpHeader::CONTENT_TYPE);
  return util::strip(value.substr(0, value.find(';')));
}

Time HttpResponse::getLastModifiedTime() const {
  return Time::parseHTTPDate(httpHeader_->find(HttpHeader::LAST_MODIFIED));
}

bool HttpResponse::supportsPersistentConnection() const {
  return httpHeader_->isKeepAlive();
}

void HttpResponse::getMetalinKHttpEntries(std::vector<MetalinkHttpEntry>& result,
                                          const std::shared_ptr<Option>& option) const {
  auto range = httpHeader_->equalRange(HttpHeader::LINK);
  for (auto i = range.first; i != range.second; ++i) {
    MetalinkHttpEntry entry;
    if (parseMetalinkHttpLink(entry, i->second)) {
      result.push_back(std::move(entry));
    }
  }
  if (!result.empty() && option && !option->blank(PREF_METALINK_LOCATION)) {
    const std::string& locationOption = option->get(PREF_METALINK_LOCATION);
    std::vector<std::string> locations;
    util::split(locationOption.begin(), locationOption.end(), std::back_inserter(locations), ',',
                true);
    for (auto& location : locations) {
      util::lowercase(location);
    }
    for (auto& entry : result) {
      if (std::find(locations.begin(), locations.end(), entry.geo) != locations.end()) {
        entry.pri -= 999999;
      }
    }
  }
  std::sort(result.begin(), result.end());
}

void HttpResponse::getDigest(std::vector<Checksum>& result) const {
  std::vector<Checksum> found;
  auto range = httpHeader_->equalRange(HttpHeader::DIGEST);
  for (auto i = range.first; i != range.second; ++i) {
    const std::string& s = i->second;
    std::string hashType, digest;
    for (auto pos = s.begin();;) {
      auto r = util::nextParam(hashType, digest, pos, s.end(), ',');
      if (!r.second) {
        break;
      }
      pos = r.first;
      util::lowercase(hashType);
      if (!MessageDigest::supports(hashType)) {
        continue;
      }
      std::string raw = base64::decode(digest.begin(), digest.end());
      if (raw.size() != MessageDigest::getDigestLength(hashType)) {
        continue;
      }
      found.emplace_back(std::move(hashType), std::move(raw));
    }
  }
  // Types of equal strength (md5 and adler32) are ordered by name so that each
  // type forms one run.
  std::sort(found.begin(), found.end(), [](const Checksum& a, const Checksum& b) {
    HashTypeStronger stronger;
    return stronger(a, b) || (!stronger(b, a) && a.getHashType() < b.getHashType());
  });
  // Within one hash type the digests must agree; a server that contradicts
  // itself cannot be trusted for that type.
  for (auto first = found.begin(); first != found.end();) {
    auto last = std::find_if(first, found.end(), [&first](const Checksum& c) {
      return c.getHashType() != first->getHashType();
    });
    bool agree = std::all_of(
        first, last, [&first](const Checksum& c) { return c.getDigest() == first->getDigest(); });
    if (agree) {
      result.push_back(*first);
    }
    first = last;
  }
}

}  // namespace quarn
