#include "engine/FileEntry.h"

#include <algorithm>

#include "foundation/File.h"
#include "foundation/Logger.h"
#include "foundation/OutputFile.h"
#include "foundation/fmt.h"
#include "foundation/uri_split.h"
#include "foundation/util_chars.h"

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

namespace {

// The percent-encoded form of a URI, or empty when it does not split.
std::string checkedUri(const std::string& uri) {
  std::string encoded = util::percentEncodeMini(uri);
  return uri_split(nullptr, encoded.c_str()) == 0 ? encoded : std::string();
}

}  // namespace

bool FileEntry::addUri(const std::string& uri) {
  std::string encoded = checkedUri(uri);
  if (encoded.empty()) {
    return false;
  }
  uris_.push_back(std::move(encoded));
  return true;
}

size_t FileEntry::setUris(const std::vector<std::string>& uris) {
  uris_.clear();
  size_t added = 0;
  for (const auto& uri : uris) {
    added += addUri(uri) ? 1 : 0;
  }
  return added;
}

bool FileEntry::insertUri(const std::string& uri, size_t position) {
  std::string encoded = checkedUri(uri);
  if (encoded.empty()) {
    return false;
  }
  uris_.insert(uris_.begin() + std::min(position, uris_.size()), std::move(encoded));
  return true;
}

bool FileEntry::removeUri(const std::string& uri) {
  if (auto it = std::find(spentUris_.begin(), spentUris_.end(), uri); it != spentUris_.end()) {
    spentUris_.erase(it);
    return true;
  }
  if (auto it = std::find(uris_.begin(), uris_.end(), uri); it != uris_.end()) {
    uris_.erase(it);
    return true;
  }
  return false;
}

void FileEntry::removeURIWhoseHostnameIs(const std::string& hostname) {
  std::deque<std::string> kept;
  for (const auto& uri : uris_) {
    uri_split_result res;
    if (uri_split(&res, uri.c_str()) == 0 &&
        uri.compare(res.fields[USR_HOST].off, res.fields[USR_HOST].len, hostname) != 0) {
      kept.push_back(uri);
    }
  }
  QLOG_DEBUG(fmt("Removed %lu duplicate hostname URIs for path=%s",
                 static_cast<unsigned long>(uris_.size() - kept.size()), path_.c_str()));
  uris_.swap(kept);
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

void writeFilePath(OutputFile& out, const std::shared_ptr<FileEntry>& entry, bool memory) {
  if (!entry->getPath().empty()) {
    if (memory) {
      out.write("[MEMORY]");
      out.write(File(entry->getPath()).getBasename().c_str());
    } else {
      out.write(entry->getPath().c_str());
    }
    return;
  }
  auto uris = entry->getUris();
  out.write(uris.empty() ? "n/a" : uris.front().c_str());
}

void writeFilePath(std::ostream& out, const std::shared_ptr<FileEntry>& entry, bool memory) {
  if (!entry->getPath().empty()) {
    if (memory) {
      out << "[MEMORY]" << File(entry->getPath()).getBasename();
    } else {
      out << entry->getPath();
    }
    return;
  }
  auto uris = entry->getUris();
  out << (uris.empty() ? "n/a" : uris.front());
}

}  // namespace quarn
