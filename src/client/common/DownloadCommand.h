#pragma once

#include <memory>

#include "client/common/AbstractCommand.h"
#include "storage/URISelector.h"

namespace quarn {

class PeerStat;
class SinkStreamFilter;
class StreamFilter;

// Moves body bytes from the receive buffer through the stream filters into
// the segment, with speed limits, the lowest-speed rule and piece hashes.
class DownloadCommand : public AbstractCommand, public LowestSpeedTunable {
 public:
  DownloadCommand(cuid_t cuid, std::shared_ptr<Request> req, std::shared_ptr<FileEntry> fileEntry,
                  RequestGroup* requestGroup, DownloadEngine* e, std::shared_ptr<SocketCore> s,
                  std::shared_ptr<SocketRecvBuffer> socketRecvBuffer);
  ~DownloadCommand() override;

  void installStreamFilter(std::unique_ptr<StreamFilter> filter);
  StreamFilter* getStreamFilter() const { return streamFilter_.get(); }
  void setStartupIdleTime(int64_t seconds) { startupIdleTime_ = seconds; }
  void setLowestDownloadSpeedLimit(int32_t limit) override { lowestDownloadSpeedLimit_ = limit; }

 protected:
  bool executeInternal() override;
  bool noCheck() const override { return lowestDownloadSpeedLimit_ > 0; }
  virtual bool prepareForNextSegment();
  virtual int64_t getRequestEndOffset() const = 0;
  virtual bool shouldEnableWriteCheck();

 private:
  // The most one read takes straight into the write cache.
  static constexpr size_t UNLIMITED_READ_CAP = 512 * 1024;

  size_t readCap() const;
  int64_t roomInSegment(const std::shared_ptr<Segment>& segment) const;
  bool receiveIntoCache(const std::shared_ptr<Segment>& segment, bool& eof);
  bool isSegmentPartComplete(const std::shared_ptr<Segment>& segment, bool eof) const;
  void completeSegment(const std::shared_ptr<Segment>& segment);
  void validatePieceHash(const std::shared_ptr<Segment>& segment, const std::string& expected,
                         const std::string& actual);
  void checkLowestDownloadSpeed() const;

  std::shared_ptr<PeerStat> peerStat_;
  std::unique_ptr<StreamFilter> streamFilter_;
  // The chain's own sink while no other filter is installed in front of it.
  SinkStreamFilter* directSink_;
  int64_t startupIdleTime_;
  int32_t lowestDownloadSpeedLimit_;
  bool pieceHashValidationEnabled_;
  bool sinkFilterOnly_;
};

}  // namespace quarn
