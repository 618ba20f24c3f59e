#pragma once

#include <signal.h>

#include <memory>
#include <utility>
#include <vector>

namespace quarn {

class DownloadEngine;
class DownloadSources;
class Option;
class RequestGroup;
class UriListParser;

// One run of the program: prepares the engine and what it needs, runs the
// event loop, then saves what outlives the process and computes the exit
// status. It also owns the process's signal handling for the run.
class MultiUrlRequestInfo {
 public:
  MultiUrlRequestInfo(std::vector<std::shared_ptr<RequestGroup>> requestGroups,
                      const std::shared_ptr<Option>& op,
                      const std::shared_ptr<UriListParser>& uriListParser);
  ~MultiUrlRequestInfo();
  MultiUrlRequestInfo(const MultiUrlRequestInfo&) = delete;
  MultiUrlRequestInfo& operator=(const MultiUrlRequestInfo&) = delete;

  // The exit status of the process.
  int execute();
  // 0 when the run can start.
  int prepare();
  // The exit status; also writes the end-of-run files.
  int getResult();

  void setupSignalHandlers();
  void resetSignalHandlers();
  void printMessageForContinue();

  void setUseSignalHandlers(bool b) { useSignalHandlers_ = b; }
  // How the run turns torrent, magnet and Metalink arguments into downloads
  // after start-up (input lists read while running, the control server).
  void setDownloadSources(std::shared_ptr<const DownloadSources> sources) {
    downloadSources_ = std::move(sources);
  }
  DownloadEngine* getDownloadEngine() const { return e_.get(); }

 private:
  std::vector<std::shared_ptr<RequestGroup>> requestGroups_;
  std::shared_ptr<Option> option_;
  std::shared_ptr<UriListParser> uriListParser_;
  std::shared_ptr<const DownloadSources> downloadSources_;
  std::unique_ptr<DownloadEngine> e_;
  bool useSignalHandlers_;
  sigset_t mask_;
};

}  // namespace quarn
