#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quarn {

class BinaryStream;
class MetalinkEntry;
class Option;
class RequestGroup;

// Turns a Metalink document into downloads: one per file, or one per group of
// files that lie in the same torrent, with their mirrors ordered by the
// user's preferences, their checksums, piece hashes and signature. Files that
// a torrent also holds get a download of that torrent first, which their own
// download waits for and, when it fails, does without.
class Metalink2RequestGroup {
 public:
  // Parse errors pass on as DlAbortEx with error code 20.
  void generate(std::vector<std::shared_ptr<RequestGroup>>& groups, const std::string& metalinkFile,
                const std::shared_ptr<Option>& option, const std::string& baseUri = "");
  void generate(std::vector<std::shared_ptr<RequestGroup>>& groups, BinaryStream* binaryStream,
                const std::shared_ptr<Option>& option, const std::string& baseUri = "");

 private:
  void createRequestGroup(std::vector<std::shared_ptr<RequestGroup>>& groups,
                          std::vector<std::unique_ptr<MetalinkEntry>> entries,
                          const std::shared_ptr<Option>& option);
};

}  // namespace quarn
