#include "metalink/metalink_helper.h"

#include <algorithm>
#include <array>

#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/BinaryStream.h"
#include "foundation/DlAbortEx.h"
#include "foundation/XmlParser.h"
#include "metalink/MetalinkEntry.h"
#include "metalink/MetalinkMetaurl.h"
#include "metalink/MetalinkParserStateMachine.h"
#include "metalink/Metalinker.h"

namespace quarn {
namespace metalink {

namespace {

[[noreturn]] void throwParseError() {
  throw DL_ABORT_EX("Could not parse Metalink XML document.", error_code::METALINK_PARSE_ERROR);
}

std::unique_ptr<Metalinker> takeResult(MetalinkParserStateMachine& psm) {
  if (!psm.getErrors().empty()) {
    throw DL_ABORT_EX(psm.getErrorString(), error_code::METALINK_PARSE_ERROR);
  }
  return psm.getResult();
}

std::vector<std::unique_ptr<MetalinkEntry>> query(std::unique_ptr<Metalinker> metalinker,
                                                  const Option* option) {
  return metalinker->queryEntry(option->get(PREF_METALINK_VERSION),
                                option->get(PREF_METALINK_LANGUAGE), option->get(PREF_METALINK_OS));
}

}  // namespace

std::unique_ptr<Metalinker> parseFile(const std::string& filename, const std::string& baseUri) {
  MetalinkParserStateMachine psm;
  psm.setBaseUri(baseUri);
  if (!xml::parseFile(filename, &psm)) {
    throwParseError();
  }
  return takeResult(psm);
}

std::unique_ptr<Metalinker> parseBinaryStream(BinaryStream* bs, const std::string& baseUri) {
  MetalinkParserStateMachine psm;
  psm.setBaseUri(baseUri);
  xml::XmlParser parser(&psm);
  std::array<unsigned char, 4096> buf;
  int64_t offset = 0;
  for (;;) {
    ssize_t n = bs->readData(buf.data(), buf.size(), offset);
    if (n < 0) {
      throwParseError();
    }
    if (n == 0) {
      if (parser.parseFinal(nullptr, 0) < 0) {
        throwParseError();
      }
      break;
    }
    if (parser.parseUpdate(reinterpret_cast<const char*>(buf.data()), n) < 0) {
      throwParseError();
    }
    offset += n;
  }
  return takeResult(psm);
}

std::vector<std::unique_ptr<MetalinkEntry>> parseAndQuery(const std::string& filename,
                                                          const Option* option,
                                                          const std::string& baseUri) {
  return query(parseFile(filename, baseUri), option);
}

std::vector<std::unique_ptr<MetalinkEntry>> parseAndQuery(BinaryStream* bs, const Option* option,
                                                          const std::string& baseUri) {
  return query(parseBinaryStream(bs, baseUri), option);
}

std::vector<std::pair<std::string, std::vector<MetalinkEntry*>>> groupEntryByMetaurlName(
    const std::vector<std::unique_ptr<MetalinkEntry>>& entries) {
  std::vector<std::pair<std::string, std::vector<MetalinkEntry*>>> result;
  for (const auto& entry : entries) {
    if (entry->metaurls.empty()) {
      result.emplace_back(std::string(), std::vector<MetalinkEntry*>{entry.get()});
      continue;
    }
    const MetalinkMetaurl& metaurl = *entry->metaurls.front();
    // Only files named inside the torrent with a known size can be laid out
    // as members of one multi-file download.
    if (!metaurl.name.empty() && entry->sizeKnown) {
      auto group = std::find_if(result.begin(), result.end(), [&](const auto& g) {
        const auto& first = g.second.front()->metaurls;
        return g.first == metaurl.url && !first.empty() && !first.front()->name.empty();
      });
      if (group != result.end()) {
        group->second.push_back(entry.get());
        continue;
      }
    }
    result.emplace_back(metaurl.url, std::vector<MetalinkEntry*>{entry.get()});
  }
  return result;
}

}  // namespace metalink
}  // namespace quarn
