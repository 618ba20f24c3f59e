#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Command.h"
#include "foundation/Timer.h"

namespace quarn {

class AsyncNameResolverMan;
class CheckIntegrityEntry;
class DownloadContext;
class DownloadEngine;
class FileEntry;
class Option;
class PieceStorage;
class Request;
class RequestGroup;
class Segment;
class SegmentMan;
class SocketCore;
class SocketRecvBuffer;

// Base of every command that works on one client connection: it stops with
// the download, takes segments, applies the time-out and turns the failure
// exceptions into retries, aborts and download failures.
class AbstractCommand : public Command {
 public:
  AbstractCommand(cuid_t cuid, std::shared_ptr<Request> req, std::shared_ptr<FileEntry> fileEntry,
                  RequestGroup* requestGroup, DownloadEngine* e,
                  std::shared_ptr<SocketCore> s = nullptr,
                  std::shared_ptr<SocketRecvBuffer> socketRecvBuffer = nullptr,
                  bool countConnection = true);
  ~AbstractCommand() override;

  bool execute() override;

  void setRequest(std::shared_ptr<Request> request) { req_ = std::move(request); }
  void resetRequest() { req_.reset(); }
  const std::shared_ptr<Request>& getRequest() const { return req_; }
  void setFileEntry(std::shared_ptr<FileEntry> fileEntry) { fileEntry_ = std::move(fileEntry); }
  const std::shared_ptr<FileEntry>& getFileEntry() const { return fileEntry_; }
  void setSocket(std::shared_ptr<SocketCore> s);
  const std::shared_ptr<SocketCore>& getSocket() const { return socket_; }
  const std::shared_ptr<SocketRecvBuffer>& getSocketRecvBuffer() const { return socketRecvBuffer_; }
  DownloadEngine* getDownloadEngine() const { return e_; }
  RequestGroup* getRequestGroup() const { return requestGroup_; }
  const std::vector<std::shared_ptr<Segment>>& getSegments() const { return segments_; }
  const std::shared_ptr<SegmentMan>& getSegmentMan() const;
  const std::shared_ptr<PieceStorage>& getPieceStorage() const;
  const std::shared_ptr<Option>& getOption() const;
  const std::shared_ptr<DownloadContext>& getDownloadContext() const;
  void setTimeout(int64_t seconds) { timeout_ = seconds; }
  int64_t getTimeout() const { return timeout_; }

  void setReadCheckSocket(const std::shared_ptr<SocketCore>& socket);
  void setWriteCheckSocket(const std::shared_ptr<SocketCore>& socket);
  void disableReadCheckSocket();
  void disableWriteCheckSocket();
  void setReadCheckSocketIf(const std::shared_ptr<SocketCore>& socket, bool pred);
  void setWriteCheckSocketIf(const std::shared_ptr<SocketCore>& socket, bool pred);
  void swapSocket(std::shared_ptr<SocketCore>& socket);

  // Makes the command run next turn when data is already buffered.
  void checkSocketRecvBuffer();
  void createSocket();
  void addCommandSelf();
  int32_t calculateMinSplitSize() const;

  // Proxy and name resolution shared by every protocol.
  bool isProxyDefined() const;
  std::shared_ptr<Request> createProxyRequest() const;
  std::string resolveProxyMethod(const std::string& protocol) const;
  // The address to connect to; "" while a resolution is still running.
  std::string resolveHostname(std::vector<std::string>& addrs, const std::string& hostname,
                              uint16_t port);
  // True when the connect succeeded; false when another address is tried.
  bool checkIfConnectionEstablished(const std::shared_ptr<SocketCore>& socket,
                                    const std::string& connectedHostname,
                                    const std::string& connectedAddr, uint16_t connectedPort);

 protected:
  virtual bool prepareForRetry(int64_t wait);
  std::chrono::seconds retryDelay(int maxTries) const;
  // Hands the download to its integrity check or file allocation; the entry's
  // next command runs after them.
  void prepareForNextAction(std::unique_ptr<CheckIntegrityEntry> entry);
  virtual void onAbort();
  virtual bool executeInternal() = 0;
  virtual bool noCheck() const { return false; }

  void tryReserved();
  bool shouldProcess() const;
  // Marks the request's server as failed in the server statistics.
  void markServerError();
  // Hands the connection over to a faster mirror's request.
  void useFasterRequest(const std::shared_ptr<Request>& fasterRequest);

 private:
  bool runStep();
  std::string finishResolution(const std::vector<std::string>& addrs, const std::string& hostname,
                               uint16_t port);
  bool takeSegments();
  bool switchToFasterRequest();
  // The engine's calls that add or remove this command's read or write check.
  using CheckFn = bool (DownloadEngine::*)(int, Command*);
  void setCheckSocket(bool& enabled, std::shared_ptr<SocketCore>& target,
                      const std::shared_ptr<SocketCore>& socket, CheckFn add, CheckFn remove);
  void disableCheckSocket(bool& enabled, std::shared_ptr<SocketCore>& target, CheckFn remove);

  std::shared_ptr<Request> req_;
  std::shared_ptr<FileEntry> fileEntry_;
  std::shared_ptr<SocketCore> socket_;
  std::shared_ptr<SocketRecvBuffer> socketRecvBuffer_;
  std::shared_ptr<SocketCore> readCheckTarget_;
  std::shared_ptr<SocketCore> writeCheckTarget_;
  std::unique_ptr<AsyncNameResolverMan> asyncNameResolverMan_;
  RequestGroup* requestGroup_;
  DownloadEngine* e_;
  std::vector<std::shared_ptr<Segment>> segments_;
  Timer checkPoint_;
  Timer fasterRequestTimer_;
  int64_t timeout_;
  bool readCheckEnabled_;
  bool writeCheckEnabled_;
  bool countsConnection_;
};

}  // namespace quarn
