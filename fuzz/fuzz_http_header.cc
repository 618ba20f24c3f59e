#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/DlAbortEx.h"
#include "net/HttpHeader.h"
#include "net/HttpHeaderProcessor.h"

namespace {

using quarn::HttpHeader;
using quarn::HttpHeaderProcessor;

// The first input byte picks the mode and how the rest is cut into chunks.
struct Outcome {
  bool complete = false;
  size_t headLength = 0;
  std::unique_ptr<HttpHeader> header;
};

Outcome feed(HttpHeaderProcessor::ParserMode mode, const uint8_t* data, size_t size, size_t chunk) {
  Outcome out;
  HttpHeaderProcessor proc(mode);
  size_t pos = 0;
  try {
    while (pos < size) {
      size_t n = std::min(chunk, size - pos);
      bool done = proc.parse(data + pos, n);
      if (proc.getLastBytesProcessed() > n) {
        abort();
      }
      pos += proc.getLastBytesProcessed();
      if (done) {
        out.complete = true;
        out.headLength = pos;
        out.header = proc.getResult();
        break;
      }
      if (proc.getLastBytesProcessed() != n) {
        abort();
      }
    }
  } catch (const quarn::DlAbortEx&) {
  }
  if (proc.getHeaderString().size() > HttpHeaderProcessor::MAX_HEAD_LENGTH) {
    abort();
  }
  return out;
}

void exercise(const HttpHeader& h) {
  try {
    h.getRange();
  } catch (const quarn::DlAbortEx&) {
  }
  h.isKeepAlive();
  h.fieldContains(HttpHeader::CONNECTION, "close");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  auto mode =
      (data[0] & 1) ? HttpHeaderProcessor::REQUEST_PARSER : HttpHeaderProcessor::RESPONSE_PARSER;
  size_t chunk = (data[0] >> 1) + 1;
  ++data;
  --size;
  Outcome whole = feed(mode, data, size, size == 0 ? 1 : size);
  Outcome pieces = feed(mode, data, size, chunk);
  if (whole.complete) {
    exercise(*whole.header);
  }
  // Cutting the input differently never changes a head that parses both ways.
  if (whole.complete && pieces.complete) {
    if (whole.headLength != pieces.headLength ||
        whole.header->getStatusCode() != pieces.header->getStatusCode() ||
        whole.header->getVersion() != pieces.header->getVersion() ||
        whole.header->getReasonPhrase() != pieces.header->getReasonPhrase() ||
        whole.header->getMethod() != pieces.header->getMethod() ||
        whole.header->getRequestPath() != pieces.header->getRequestPath()) {
      abort();
    }
    for (int id = 0; id < HttpHeader::MAX_INTERESTING_HEADER; ++id) {
      if (whole.header->findAll(id) != pieces.header->findAll(id)) {
        abort();
      }
    }
  }
  return 0;
}
