#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Timer.h"
#include "foundation/error_code.h"
#include "storage/URISelector.h"

namespace quarn {

class Request;
class ServerStatMan;

struct URIResult {
  URIResult(std::string uri, error_code::Value result) : uri(std::move(uri)), result(result) {}
  std::string uri;
  error_code::Value result;
};

// One output file of a download: where it lies in the download's byte space,
// its path, the URIs it can be fetched from, and the requests of the
// connections working on it.
class FileEntry {
 public:
  // Pool order: fastest average first; requests without statistics last.
  struct RequestFaster {
    bool operator()(const std::shared_ptr<Request>& a, const std::shared_ptr<Request>& b) const;
  };
  using RequestPool = std::set<std::shared_ptr<Request>, RequestFaster>;
  using InFlightRequestSet = std::set<std::shared_ptr<Request>>;

  FileEntry();
  FileEntry(std::string path, int64_t length, int64_t offset,
            const std::vector<std::string>& uris = {});

  bool operator<(const FileEntry& other) const { return offset_ < other.offset_; }

  int64_t getLength() const { return length_; }
  void setLength(int64_t length) { length_ = length; }
  int64_t getOffset() const { return offset_; }
  void setOffset(int64_t offset) { offset_ = offset; }
  int64_t getLastOffset() const { return offset_ + length_; }
  const std::string& getPath() const { return path_; }
  void setPath(std::string path) { path_ = std::move(path); }
  const std::string& getContentType() const { return contentType_; }
  void setContentType(std::string type) { contentType_ = std::move(type); }
  const std::string& getOriginalName() const { return originalName_; }
  void setOriginalName(std::string name) { originalName_ = std::move(name); }
  const std::string& getSuffixPath() const { return suffixPath_; }
  void setSuffixPath(std::string path) { suffixPath_ = std::move(path); }
  bool isRequested() const { return requested_; }
  void setRequested(bool requested) { requested_ = requested; }
  bool isUniqueProtocol() const { return uniqueProtocol_; }
  void setUniqueProtocol(bool f) { uniqueProtocol_ = f; }
  int32_t getMaxConnectionPerServer() const { return maxConnectionPerServer_; }
  void setMaxConnectionPerServer(int32_t n) { maxConnectionPerServer_ = n; }

  bool exists() const;
  std::string getBasename() const;
  std::string getDirname() const;
  int64_t gtoloff(int64_t globalOffset) const { return globalOffset - offset_; }

  const std::deque<std::string>& getRemainingUris() const { return uris_; }
  std::deque<std::string>& getRemainingUris() { return uris_; }
  const std::deque<std::string>& getSpentUris() const { return spentUris_; }
  std::deque<std::string>& getSpentUris() { return spentUris_; }
  std::vector<std::string> getUris() const;
  // Percent-encodes unsafe characters; false (nothing added) when the result
  // does not split as a URI.
  bool addUri(const std::string& uri);
  size_t setUris(const std::vector<std::string>& uris);
  bool insertUri(const std::string& uri, size_t position);
  bool removeUri(const std::string& uri);
  void removeIdenticalURI(const std::string& uri);
  void removeURIWhoseHostnameIs(const std::string& hostname);

  void addURIResult(std::string uri, error_code::Value result);
  const std::deque<URIResult>& getURIResults() const { return uriResults_; }
  void extractURIResult(std::deque<URIResult>& out, error_code::Value result);

  // A pooled request that is awake, else a new one from the URIs through the
  // selector; null when no URI can be used now.
  std::shared_ptr<Request> getRequest(URISelector* selector, bool uriReuse,
                                      const UsedHosts& usedHosts, const std::string& referer = "",
                                      const std::string& method = "GET");
  std::shared_ptr<Request> getRequestWithInFlightHosts(
      URISelector* selector, bool uriReuse, const UsedHosts& usedHosts, const std::string& referer,
      const std::string& method, const std::vector<std::string>& inFlightHosts);
  // Appends the spent URIs that did not fail, except those of the ignored
  // hosts, to the remaining URIs.
  void reuseUri(const std::vector<std::string>& ignoreHosts);
  // The fastest pooled request when it is clearly faster than base.
  std::shared_ptr<Request> findFasterRequest(const std::shared_ptr<Request>& base);
  // A new request to a server known to be clearly faster than base.
  std::shared_ptr<Request> findFasterRequest(const std::shared_ptr<Request>& base,
                                             const UsedHosts& usedHosts,
                                             const std::shared_ptr<ServerStatMan>& serverStatMan);
  void poolRequest(const std::shared_ptr<Request>& request);
  void storePool(const std::shared_ptr<Request>& request);
  // True when the request was in flight.
  bool removeRequest(const std::shared_ptr<Request>& request);
  size_t countInFlightRequest() const { return inFlightRequests_.size(); }
  size_t countPooledRequest() const { return requestPool_.size(); }
  const RequestPool& getRequestPool() const { return requestPool_; }
  const InFlightRequestSet& getInFlightRequests() const { return inFlightRequests_; }
  // Puts the URIs of all live requests back at the front of the remaining URIs.
  void putBackRequest();
  void releaseRuntimeResource();
  bool emptyRequestUri() const;
  const Timer& getLastFasterReplace() const { return lastFasterReplace_; }

 private:
  bool recentlySwitched() const;

  int64_t length_;
  int64_t offset_;
  std::deque<std::string> uris_;
  std::deque<std::string> spentUris_;
  std::deque<URIResult> uriResults_;
  std::string path_;
  std::string contentType_;
  std::string originalName_;
  std::string suffixPath_;
  RequestPool requestPool_;
  InFlightRequestSet inFlightRequests_;
  Timer lastFasterReplace_;
  int32_t maxConnectionPerServer_;
  bool requested_;
  bool uniqueProtocol_;
};

class OutputFile;

// Writes a file's display name: its path ("[MEMORY]" and the base name for
// downloads kept in memory), else its first URI, else "n/a".
void writeFilePath(OutputFile& out, const std::shared_ptr<FileEntry>& entry, bool memory);
void writeFilePath(std::ostream& out, const std::shared_ptr<FileEntry>& entry, bool memory);

// The display name of a download's files: the first requested file, followed
// by " (N more)" when more are requested; "n/a" when none is.
template <typename InputIt>
void writeFilePath(InputIt first, InputIt last, std::ostream& out, bool memory) {
  size_t requested = 0;
  std::shared_ptr<FileEntry> firstRequested;
  for (; first != last; ++first) {
    if ((*first)->isRequested()) {
      if (!firstRequested) {
        firstRequested = *first;
      }
      ++requested;
    }
  }
  if (!firstRequested) {
    out << "n/a";
    return;
  }
  writeFilePath(out, firstRequested, memory);
  if (!firstRequested->getPath().empty() && requested > 1) {
    out << " (" << requested - 1 << "more)";
  }
}

}  // namespace quarn
