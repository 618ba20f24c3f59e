#pragma once

#include "storage/PieceStorage.h"

namespace quarn {

class BitfieldMan;
class DirectDiskAdaptor;
class DiskWriterFactory;
class DownloadContext;

// Piece storage of a download whose length is not known: one piece that grows
// with every write, over a single connection.
class UnknownLengthPieceStorage : public PieceStorage {
 public:
  explicit UnknownLengthPieceStorage(std::shared_ptr<DownloadContext> downloadContext);
  ~UnknownLengthPieceStorage() override;

  bool hasMissingPiece(const uint8_t*, size_t) override;
  void getMissingPiece(std::vector<std::shared_ptr<Piece>>&, size_t, const uint8_t*, size_t,
                       int64_t) override;
  void getMissingPiece(std::vector<std::shared_ptr<Piece>>&, size_t, const uint8_t*, size_t,
                       const std::vector<size_t>&, int64_t) override;
  void getMissingFastPiece(std::vector<std::shared_ptr<Piece>>&, size_t, const uint8_t*, size_t,
                           const std::vector<size_t>&, const std::vector<size_t>&,
                           int64_t) override;
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
  int64_t getTotalLength() override { return totalLength_; }
  int64_t getFilteredTotalLength() override { return totalLength_; }
  int64_t getCompletedLength() override;
  int64_t getFilteredCompletedLength() override { return getCompletedLength(); }
  void setupFileFilter() override {}
  void clearFileFilter() override {}
  bool downloadFinished() override { return downloadFinished_; }
  bool allDownloadFinished() override { return downloadFinished_; }
  void initStorage() override;
  const uint8_t* getBitfield() override;
  void setBitfield(const uint8_t*, size_t) override {}
  size_t getBitfieldLength() override;
  bool isSelectiveDownloadingMode() override { return false; }
  bool isEndGame() override { return false; }
  void enterEndGame() override {}
  void setEndGamePieceNum(size_t) override {}
  std::shared_ptr<DiskAdaptor> getDiskAdaptor() override;
  WrDiskCache* getWrDiskCache() override { return nullptr; }
  void flushWrDiskCacheEntry(bool) override {}
  int32_t getPieceLength(size_t index) override;
  void advertisePiece(int64_t, size_t, Timer) override {}
  uint64_t getAdvertisedPieceIndexes(std::vector<size_t>&, int64_t, uint64_t) override;
  void removeAdvertisedPiece(const Timer&) override {}
  void markAllPiecesDone() override;
  void markPiecesDone(int64_t length) override;
  void addInFlightPiece(const std::vector<std::shared_ptr<Piece>>&) override {}
  size_t countInFlightPiece() override { return 0; }
  void getInFlightPieces(std::vector<std::shared_ptr<Piece>>&) override {}
  void addPieceStats(size_t) override {}
  void addPieceStats(const uint8_t*, size_t) override {}
  void subtractPieceStats(const uint8_t*, size_t) override {}
  void updatePieceStats(const uint8_t*, size_t, const uint8_t*) override {}
  size_t getNextUsedIndex(size_t) override { return 0; }
  void onDownloadIncomplete() override {}

  void setDiskWriterFactory(std::shared_ptr<DiskWriterFactory> factory);

 private:
  void createBitfield();

  std::shared_ptr<DownloadContext> downloadContext_;
  std::shared_ptr<DirectDiskAdaptor> diskAdaptor_;
  std::shared_ptr<DiskWriterFactory> diskWriterFactory_;
  int64_t totalLength_;
  std::unique_ptr<BitfieldMan> bitfield_;
  bool downloadFinished_;
  std::shared_ptr<Piece> piece_;
};

}  // namespace quarn
