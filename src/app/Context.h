#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quarn {

class DownloadSources;
class MultiUrlRequestInfo;
class Option;
class RequestGroup;
class UriListParser;

// Turns the command line (or, when embedded, a list of option pairs) into the
// global options of the run, sets up logging and the process-wide limits and
// socket settings, and makes the initial downloads.
class Context {
 public:
  // `standalone` is true when called from the program's own main: a failure of
  // option processing then ends the process with its status.
  Context(bool standalone, int argc, char** argv,
          const std::vector<std::pair<std::string, std::string>>& options);
  ~Context();

  const std::shared_ptr<Option>& getOption() const { return option_; }
  const std::vector<std::string>& getArgs() const { return args_; }
  // The run; null when there is nothing to run ("No files to download.").
  const std::shared_ptr<MultiUrlRequestInfo>& getReqinfo() const { return reqinfo_; }

 private:
  // "show-files" with a torrent file or positional files to describe.
  bool showFilesRequested() const;
  void createInitialDownloads();

  std::shared_ptr<Option> option_;
  std::shared_ptr<const DownloadSources> sources_;
  std::vector<std::string> args_;
  std::vector<std::shared_ptr<RequestGroup>> requestGroups_;
  std::shared_ptr<UriListParser> uriListParser_;
  std::shared_ptr<MultiUrlRequestInfo> reqinfo_;
};

}  // namespace quarn
