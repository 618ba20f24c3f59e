#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "storage/BitfieldMan.h"

namespace quarn {

class DownloadContext;
class FileEntry;
class PeerStat;
class Piece;
class PieceStorage;
class Segment;

struct SegmentEntry {
  SegmentEntry(int64_t cuid, std::shared_ptr<Segment> segment)
      : cuid(cuid), segment(std::move(segment)) {}
  int64_t cuid;
  std::shared_ptr<Segment> segment;
};

// Hands pieces of one download to its client connections as segments, takes
// them back, and remembers how far a given-up piece was written.
class SegmentMan {
 public:
  SegmentMan(std::shared_ptr<DownloadContext> downloadContext,
             std::shared_ptr<PieceStorage> pieceStorage);
  ~SegmentMan();

  std::shared_ptr<Segment> checkoutSegment(int64_t cuid, const std::shared_ptr<Piece>& piece);
  std::shared_ptr<Segment> getSegment(int64_t cuid, size_t minSplitSize);
  void getSegment(std::vector<std::shared_ptr<Segment>>& segments, int64_t cuid,
                  size_t minSplitSize, const std::shared_ptr<FileEntry>& fileEntry,
                  size_t maxSegments);
  std::shared_ptr<Segment> getSegmentWithIndex(int64_t cuid, size_t index);
  std::shared_ptr<Segment> getCleanSegmentIfOwnerIsIdle(int64_t cuid, size_t index);
  void getInFlightSegment(std::vector<std::shared_ptr<Segment>>& segments, int64_t cuid);

  void cancelSegment(int64_t cuid, const std::shared_ptr<Segment>& segment);
  void cancelSegment(int64_t cuid);
  void cancelAllSegments();
  bool completeSegment(int64_t cuid, const std::shared_ptr<Segment>& segment);
  void eraseSegmentWrittenLengthMemo() { segmentWrittenLengthMemo_.clear(); }

  void registerPeerStat(const std::shared_ptr<PeerStat>& peerStat);
  std::shared_ptr<PeerStat> getPeerStat(int64_t cuid) const;
  const std::vector<std::shared_ptr<PeerStat>>& getPeerStats() const { return peerStats_; }
  void updateFastestPeerStat(const std::shared_ptr<PeerStat>& peerStat);
  const std::vector<std::shared_ptr<PeerStat>>& getFastestPeerStats() const {
    return fastestPeerStats_;
  }

  void ignoreSegmentFor(const std::shared_ptr<FileEntry>& fileEntry);
  void recognizeSegmentFor(const std::shared_ptr<FileEntry>& fileEntry);
  bool allSegmentsIgnored() const;

  bool downloadFinished() const;
  int64_t getTotalLength() const;
  int64_t getDownloadLength() const;
  bool hasSegment(size_t index) const;
  size_t countFreePieceFrom(size_t index) const;
  void setPieceStorage(std::shared_ptr<PieceStorage> pieceStorage);
  void setDownloadContext(std::shared_ptr<DownloadContext> downloadContext);
  void init() {}

  const std::deque<std::shared_ptr<SegmentEntry>>& getSegmentEntries() const {
    return segmentEntries_;
  }
  const std::map<size_t, int64_t>& getSegmentWrittenLengthMemo() const {
    return segmentWrittenLengthMemo_;
  }

 private:
  void cancelSegmentInternal(int64_t cuid, const std::shared_ptr<Segment>& segment);
  // Writes the piece's cached data; when that fails the piece's blocks are
  // cleared and DownloadFailureException is thrown.
  void flushPieceCache(const std::shared_ptr<Piece>& piece);

  std::shared_ptr<DownloadContext> downloadContext_;
  std::shared_ptr<PieceStorage> pieceStorage_;
  std::deque<std::shared_ptr<SegmentEntry>> segmentEntries_;
  std::map<size_t, int64_t> segmentWrittenLengthMemo_;
  std::vector<std::shared_ptr<PeerStat>> peerStats_;
  std::vector<std::shared_ptr<PeerStat>> fastestPeerStats_;
  BitfieldMan ignoreBitfield_;
};

}  // namespace quarn
