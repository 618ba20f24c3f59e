#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "client/http/HttpResponse.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/MessageDigest.h"
#include "metalink/MetalinkHttpEntry.h"
#include "net/HttpHeader.h"
#include "storage/Checksum.h"

// Each input line is one field value: lines starting with 'L' are Link values,
// the others Digest values. The first line, when it starts with '@', is the
// metalink-location option.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quarn;
  std::string in(reinterpret_cast<const char*>(data), size);
  auto header = std::make_unique<HttpHeader>();
  auto option = std::make_shared<Option>();
  size_t pos = 0;
  bool first = true;
  while (pos <= in.size()) {
    size_t eol = std::min(in.find('\n', pos), in.size());
    std::string line = in.substr(pos, eol - pos);
    pos = eol + 1;
    if (first && !line.empty() && line[0] == '@') {
      option->put(PREF_METALINK_LOCATION, line.substr(1));
    } else if (!line.empty() && line[0] == 'L') {
      header->put(HttpHeader::LINK, line.substr(1));
    } else {
      header->put(HttpHeader::DIGEST, line);
    }
    first = false;
  }
  HttpResponse response;
  response.setHttpHeader(std::move(header));

  std::vector<MetalinkHttpEntry> mirrors;
  response.getMetalinKHttpEntries(mirrors, option);
  for (size_t i = 0; i < mirrors.size(); ++i) {
    const auto& m = mirrors[i];
    if (m.uri.empty() || m.pri > 999999 || m.pri < 1 - 999999 ||
        std::any_of(m.geo.begin(), m.geo.end(), [](char c) { return 'A' <= c && c <= 'Z'; })) {
      abort();
    }
    if (i > 0 && m < mirrors[i - 1]) {
      abort();
    }
  }

  std::vector<Checksum> digests;
  response.getDigest(digests);
  std::set<std::string> types;
  for (size_t i = 0; i < digests.size(); ++i) {
    const auto& d = digests[i];
    if (!MessageDigest::supports(d.getHashType()) ||
        d.getDigest().size() != MessageDigest::getDigestLength(d.getHashType()) ||
        !types.insert(d.getHashType()).second) {
      abort();
    }
    if (i > 0 && MessageDigest::isStronger(d.getHashType(), digests[i - 1].getHashType())) {
      abort();
    }
  }
  return 0;
}
