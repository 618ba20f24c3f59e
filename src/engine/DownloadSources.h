#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quarn {

class Option;
class RequestGroup;

// Arguments that are not plain URIs (torrent files, magnet links, Metalink
// documents) become downloads through the protocol that reads them. The
// program's set-up registers one maker per kind; whatever makes downloads
// from arguments (start-up, input lists, the control server) asks them in
// order before it gives up on an argument.
class DownloadSources {
 public:
  // Appends the downloads of `arg` and returns true when `arg` is of the
  // maker's kind; `ignoreLocalPath` keeps it from reading local files.
  using Maker = std::function<bool(std::vector<std::shared_ptr<RequestGroup>>& result,
                                   const std::shared_ptr<Option>& option, const std::string& arg,
                                   bool ignoreLocalPath)>;

  void add(Maker maker) { makers_.push_back(std::move(maker)); }

  bool make(std::vector<std::shared_ptr<RequestGroup>>& result,
            const std::shared_ptr<Option>& option, const std::string& arg,
            bool ignoreLocalPath) const {
    for (const auto& maker : makers_) {
      if (maker(result, option, arg, ignoreLocalPath)) {
        return true;
      }
    }
    return false;
  }

 private:
  std::vector<Maker> makers_;
};

}  // namespace quarn
