#include "engine/FileEntry.h"

#include <algorithm>

#include "foundation/File.h"

namespace quarn {

FileEntry::FileEntry()
    : length_(0),
      offset_(0),
      maxConnectionPerServer_(1),
      requested_(false),
      uniqueProtocol_(false) {}

FileEntry::FileEntry(std::string path, int64_t length, int64_t offset,
                     const std::vector<std::string>& uris)
    : length_(length),
      offset_(offset),
      uris_(uris.begin(), uris.end()),
      path_(std::move(path)),
      maxConnectionPerServer_(1),
      requested_(true),
      uniqueProtocol_(false) {}

bool FileEntry::exists() const {
  return File(path_).exists();
}

std::string FileEntry::getBasename() const {
  return File(path_).getBasename();
}

std::string FileEntry::getDirname() const {
  return File(path_).getDirname();
}

std::vector<std::string> FileEntry::getUris() const {
  std::vector<std::string> uris(spentUris_.begin(), spentUris_.end());
  uris.insert(uris.end(), uris_.begin(), uris_.end());
  return uris;
}

void FileEntry::removeIdenticalURI(const std::string& uri) {
  uris_.erase(std::remove(uris_.begin(), uris_.end(), uri), uris_.end());
}

void FileEntry::addURIResult(std::string uri, error_code::Value result) {
  uriResults_.emplace_back(std::move(uri), result);
}

void FileEntry::extractURIResult(std::deque<URIResult>& out, error_code::Value result) {
  auto keep = std::stable_partition(uriResults_.begin(), uriResults_.end(),
                                    [result](const URIResult& r) { return r.result != result; });
  std::move(keep, uriResults_.end(), std::back_inserter(out));
  uriResults_.erase(keep, uriResults_.end());
}

}  // namespace quarn
