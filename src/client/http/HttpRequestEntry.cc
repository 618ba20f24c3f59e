#include "client/http/HttpRequestEntry.h"

namespace quarn {

HttpRequestEntry::HttpRequestEntry(std::unique_ptr<HttpRequest> httpRequest, bool tunnel)
    : httpRequest_(std::move(httpRequest)),
      proc_(std::make_unique<HttpHeaderProcessor>(HttpHeaderProcessor::RESPONSE_PARSER)),
      tunnel_(tunnel) {}

HttpRequestEntry::~HttpRequestEntry() = default;

void HttpRequestEntry::resetHttpHeaderProcessor() {
  proc_ = std::make_unique<HttpHeaderProcessor>(HttpHeaderProcessor::RESPONSE_PARSER);
}

}  // namespace quarn
