// Feeds arbitrary bytes to the Metalink reader as one stream and one byte at a time: both
// must agree on the verdict and on every entry. What was read is then grouped and sorted
// as downloads are made from it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/RecoverableException.h"
#include "foundation/XmlParser.h"
#include "metalink/MetalinkEntry.h"
#include "metalink/MetalinkMetaurl.h"
#include "metalink/MetalinkParserStateMachine.h"
#include "metalink/MetalinkResource.h"
#include "metalink/Metalinker.h"
#include "metalink/metalink_helper.h"
#include "storage/ByteArrayDiskWriter.h"
#include "storage/Checksum.h"
#include "storage/ChunkChecksum.h"
#include "storage/FileEntry.h"

namespace {

std::string describe(quarn::Metalinker& m) {
  std::string s;
  for (const auto& e : m.getEntries()) {
    s += "F" + e->getPath() + "/" + std::to_string(e->getLength()) + "/" + e->version;
    for (const auto& r : e->resources) {
      s += " R" + r->url + "|" + std::to_string(r->type) + "|" + r->location + "|" +
           std::to_string(r->priority);
    }
    for (const auto& u : e->metaurls) {
      s += " M" + u->url + "|" + u->name + "|" + std::to_string(u->priority);
    }
    if (e->checksum) {
      s += " C" + e->checksum->getHashType() + e->checksum->getDigest();
    }
    if (e->chunkChecksum) {
      s += " P" + std::to_string(e->chunkChecksum->countPieceHash());
    }
    s += "\n";
  }
  return s;
}

std::string readWhole(const uint8_t* data, size_t size, std::unique_ptr<quarn::Metalinker>& out) {
  quarn::ByteArrayDiskWriter stream;
  stream.setString(std::string(reinterpret_cast<const char*>(data), size));
  try {
    out = quarn::metalink::parseBinaryStream(&stream, "http://base/dir/doc.meta4");
    return describe(*out);
  } catch (quarn::RecoverableException& e) {
    return std::string("error ") + e.what();
  }
}

std::string readBytewise(const uint8_t* data, size_t size) {
  quarn::MetalinkParserStateMachine psm;
  psm.setBaseUri("http://base/dir/doc.meta4");
  quarn::xml::XmlParser parser(&psm);
  const char* text = reinterpret_cast<const char*>(data);
  bool ok = true;
  for (size_t i = 0; i < size && ok; ++i) {
    ok = parser.parseUpdate(text + i, 1) >= 0;
  }
  if (!ok || parser.parseFinal(nullptr, 0) < 0) {
    return "error Could not parse Metalink XML document.";
  }
  if (!psm.getErrors().empty()) {
    return "error " + psm.getErrorString();
  }
  return describe(*psm.getResult());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<quarn::Metalinker> metalinker;
  if (readWhole(data, size, metalinker) != readBytewise(data, size)) {
    abort();
  }
  if (!metalinker) {
    return 0;
  }
  auto entries = metalinker->queryEntry("", "", "");
  for (auto& entry : entries) {
    entry->dropUnsupportedResource();
    entry->setLocationPriority({"jp"}, -999999);
    entry->setProtocolPriority("https", -999999);
    entry->reorderResourcesByPriority();
    entry->reorderMetaurlsByPriority();
  }
  size_t grouped = 0;
  for (const auto& group : quarn::metalink::groupEntryByMetaurlName(entries)) {
    grouped += group.second.size();
  }
  if (grouped != entries.size()) {
    abort();
  }
  return 0;
}
