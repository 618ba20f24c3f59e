#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quarn {

class BinaryStream;
class MetalinkEntry;
class Metalinker;
class Option;

namespace metalink {

// Read a whole document ("/dev/stdin" is standard input). Malformed XML and
// recorded violations throw DlAbortEx with error code 20; there is no partial
// result.
std::unique_ptr<Metalinker> parseFile(const std::string& filename, const std::string& baseUri = "");
std::unique_ptr<Metalinker> parseBinaryStream(BinaryStream* bs, const std::string& baseUri = "");

// As above, keeping only the entries that match "metalink-version",
// "metalink-language" and "metalink-os".
std::vector<std::unique_ptr<MetalinkEntry>> parseAndQuery(const std::string& filename,
                                                          const Option* option,
                                                          const std::string& baseUri = "");
std::vector<std::unique_ptr<MetalinkEntry>> parseAndQuery(BinaryStream* bs, const Option* option,
                                                          const std::string& baseUri = "");

// Entries that are files of one torrent, grouped under the torrent's URL in
// order of first appearance; an entry without metaurls is a group of its own
// with an empty key. The pointers refer into entries.
std::vector<std::pair<std::string, std::vector<MetalinkEntry*>>> groupEntryByMetaurlName(
    const std::vector<std::unique_ptr<MetalinkEntry>>& entries);

}  // namespace metalink
}  // namespace quarn
