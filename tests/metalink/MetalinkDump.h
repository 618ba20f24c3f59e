#pragma once

#include <string>

#include "foundation/util_string.h"
#include "metalink/MetalinkEntry.h"
#include "metalink/MetalinkMetaurl.h"
#include "metalink/MetalinkResource.h"
#include "metalink/Metalinker.h"
#include "storage/Checksum.h"
#include "storage/ChunkChecksum.h"
#include "storage/FileEntry.h"
#include "storage/Signature.h"

namespace quarn::test {

// One line per entry with everything the parser put in it, so that a table
// of documents can state exactly what each must give.
inline std::string dumpEntry(MetalinkEntry& e) {
  std::string s = "F " + (e.file ? e.file->getPath() : std::string("<none>"));
  if (e.sizeKnown) {
    s += " len=" + std::to_string(e.getLength());
  }
  if (!e.version.empty()) {
    s += " V=" + e.version;
  }
  for (const auto& l : e.languages) {
    s += " L=" + l;
  }
  for (const auto& o : e.oses) {
    s += " O=" + o;
  }
  if (e.maxConnections != -1) {
    s += " max=" + std::to_string(e.maxConnections);
  }
  for (const auto& r : e.resources) {
    s += " R(" + r->url + "|" + MetalinkResource::getTypeString(r->type) + "|" + r->location + "|" +
         std::to_string(r->priority) + "|" + std::to_string(r->maxConnections) + ")";
  }
  for (const auto& m : e.metaurls) {
    s += " M(" + m->url + "|" + m->mediatype + "|" + m->name + "|" + std::to_string(m->priority) +
         ")";
  }
  if (e.checksum) {
    s += " C(" + e.checksum->getHashType() + ":" + util::toHex(e.checksum->getDigest()) + ")";
  }
  if (e.chunkChecksum) {
    s += " P(" + e.chunkChecksum->getHashType() + ":" +
         std::to_string(e.chunkChecksum->getPieceLength());
    for (const auto& h : e.chunkChecksum->getPieceHashes()) {
      s += ":" + util::toHex(h).substr(0, 4);
    }
    s += ")";
  }
  if (auto sig = e.popSignature()) {
    s += " S(" + sig->getType() + "|" + sig->getFile() + "|" + sig->getBody() + ")";
    e.setSignature(std::move(sig));
  }
  return s;
}

inline std::string dump(const Metalinker& m) {
  std::string s;
  for (const auto& e : m.getEntries()) {
    s += dumpEntry(*e) + "\n";
  }
  return s;
}

}  // namespace quarn::test
