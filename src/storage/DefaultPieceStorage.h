#pragma once

#include <deque>
#include <set>

#include "storage/PieceStorage.h"

namespace quarn {

class BitfieldMan;
class DiskWriterFactory;
class DiskWriteQueue;
class DownloadContext;
class PendingWrites;
class Option;
class PieceSelector;
class PieceStatMan;
class StreamPieceSelector;

struct HaveEntry {
  uint64_t haveIndex;
  int64_t cuid;
  size_t index;
  Timer registeredTime;
};

// Piece storage of a download whose total length is known.
class DefaultPieceStorage : public PieceStorage {
 public:
  DefaultPieceStorage(std::shared_ptr<DownloadContext> downloadContext, const Option* option);
  ~DefaultPieceStorage() override;

  bool hasMissingPiece(const uint8_t* peerBitfield, size_t length) override;
  void getMissingPiece(std::vector<std::shared_ptr<Piece>>& pieces, size_t minMissingBlocks,
                       const uint8_t* peerBitfield, size_t length, int64_t cuid) override;
  void getMissingPiece(std::vector<std::shared_ptr<Piece>>& pieces, size_t minMissingBlocks,
                       const uint8_t* peerBitfield, size_t length,
                       const std::vector<size_t>& excludedIndexes, int64_t cuid) override;
  void getMissingFastPiece(std::vector<std::shared_ptr<Piece>>& pieces, size_t minMissingBlocks,
                           const uint8_t* peerBitfield, size_t length,
                           const std::vector<size_t>& allowedFastIndexes,
                           const std::vector<size_t>& excludedIndexes, int64_t cuid) override;
  bool hasMissingUnusedPiece() override;
  std::shared_ptr<Piece> getMissingPiece(size_t minSplitSize, const uint8_t* ignoreBitfield,
                                         size_t length, int64_t cuid) override;
  std::shared_ptr<Piece> getMissingPiece(size_t index, int64_t cuid) override;
  std::shared_ptr<Piece> getPiece(size_t index) override;
  void markPieceMissing(size_t index) override;
  void completePiece(const std::shared_ptr<Piece>& piece) override;
  void cancelPiece(const std::shared_ptr<Piece>& piece, int64_t cuid) override;
  bool hasPiece(size_t index) override;
  bool isPieceUsed(size_t index) override;
  int64_t getTotalLength() override;
  int64_t getFilteredTotalLength() override;
  int64_t getCompletedLength() override;
  int64_t getFilteredCompletedLength() override;
  void setupFileFilter() override;
  void clearFileFilter() override;
  bool downloadFinished() override;
  bool allDownloadFinished() override;
  void initStorage() override;
  const uint8_t* getBitfield() override;
  void setBitfield(const uint8_t* bitfield, size_t bitfieldLength) override;
  size_t getBitfieldLength() override;
  bool isSelectiveDownloadingMode() override;
  bool isEndGame() override { return endGame_; }
  void enterEndGame() override { endGame_ = true; }
  void setEndGamePieceNum(size_t num) override { endGamePieceNum_ = num; }
  std::shared_ptr<DiskAdaptor> getDiskAdaptor() override { return diskAdaptor_; }
  WrDiskCache* getWrDiskCache() override { return wrDiskCache_; }
  void flushWrDiskCacheEntry(bool releaseEntries) override;
  int32_t getPieceLength(size_t index) override;
  void advertisePiece(int64_t cuid, size_t index, Timer registeredTime) override;
  uint64_t getAdvertisedPieceIndexes(std::vector<size_t>& indexes, int64_t myCuid,
                                     uint64_t lastHaveIndex) override;
  void removeAdvertisedPiece(const Timer& expiry) override;
  void markAllPiecesDone() override;
  void markPiecesDone(int64_t length) override;
  void addInFlightPiece(const std::vector<std::shared_ptr<Piece>>& pieces) override;
  size_t countInFlightPiece() override { return usedPieces_.size(); }
  void getInFlightPieces(std::vector<std::shared_ptr<Piece>>& pieces) override;
  void addPieceStats(size_t index) override;
  void addPieceStats(const uint8_t* bitfield, size_t bitfieldLength) override;
  void subtractPieceStats(const uint8_t* bitfield, size_t bitfieldLength) override;
  void updatePieceStats(const uint8_t* newBitfield, size_t newBitfieldLength,
                        const uint8_t* oldBitfield) override;
  size_t getNextUsedIndex(size_t index) override;
  void onDownloadIncomplete() override;

  void setDiskWriterFactory(std::shared_ptr<DiskWriterFactory> factory);
  void setWrDiskCache(WrDiskCache* wrDiskCache) { wrDiskCache_ = wrDiskCache; }
  // The cache's data is written by the queue's threads from then on.
  void setDiskWriteQueue(DiskWriteQueue* queue);
  void setPieceSelector(std::unique_ptr<PieceSelector> selector);
  std::unique_ptr<PieceSelector> popPieceSelector();
  StreamPieceSelector* getStreamPieceSelector() const { return streamPieceSelector_.get(); }
  const std::shared_ptr<DownloadContext>& getDownloadContext() const { return downloadContext_; }
  size_t getEndGamePieceNum() const { return endGamePieceNum_; }
  const std::deque<HaveEntry>& getHaves() const { return haves_; }

  std::shared_ptr<Piece> checkOutPiece(size_t index, int64_t cuid);

 private:
  struct PieceLess {
    using is_transparent = void;
    bool operator()(const std::shared_ptr<Piece>& a, const std::shared_ptr<Piece>& b) const;
    bool operator()(const std::shared_ptr<Piece>& a, size_t b) const;
    bool operator()(size_t a, const std::shared_ptr<Piece>& b) const;
  };
  using UsedPieceSet = std::set<std::shared_ptr<Piece>, PieceLess>;

  std::shared_ptr<Piece> findUsedPiece(size_t index) const;
  void addUsedPiece(const std::shared_ptr<Piece>& piece);
  void deleteUsedPiece(const std::shared_ptr<Piece>& piece);
  bool isInMemoryDownload() const;
  void getMissingPieceCore(std::vector<std::shared_ptr<Piece>>& pieces, size_t minMissingBlocks,
                           const uint8_t* peerBitfield, size_t length, int64_t cuid);
  void onDownloadFinished();
  void settleQueuedWrites();

  std::shared_ptr<DownloadContext> downloadContext_;
  std::unique_ptr<BitfieldMan> bitfieldMan_;
  std::shared_ptr<DiskAdaptor> diskAdaptor_;
  std::shared_ptr<DiskWriterFactory> diskWriterFactory_;
  UsedPieceSet usedPieces_;
  bool endGame_;
  size_t endGamePieceNum_;
  const Option* option_;
  uint64_t nextHaveIndex_;
  std::deque<HaveEntry> haves_;
  std::shared_ptr<PieceStatMan> pieceStatMan_;
  std::unique_ptr<PieceSelector> pieceSelector_;
  std::unique_ptr<StreamPieceSelector> streamPieceSelector_;
  WrDiskCache* wrDiskCache_;
  DiskWriteQueue* writeQueue_ = nullptr;
  std::shared_ptr<PendingWrites> queuedWrites_;
};

}  // namespace quarn
