#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/Timer.h"

namespace quarn {

class Piece;
class DiskAdaptor;
class WrDiskCache;

// What a download has, uses and wants, which piece a connection should fetch
// next, and where the data lives.
class PieceStorage {
 public:
  virtual ~PieceStorage() = default;

  // BitTorrent choices over a peer's piece bit array (bitfield, its length).
  virtual bool hasMissingPiece(const uint8_t* peerBitfield, size_t length) = 0;
  virtual void getMissingPiece(std::vector<std::shared_ptr<Piece>>& pieces, size_t minMissingBlocks,
                               const uint8_t* peerBitfield, size_t length, int64_t cuid) = 0;
  virtual void getMissingPiece(std::vector<std::shared_ptr<Piece>>& pieces, size_t minMissingBlocks,
                               const uint8_t* peerBitfield, size_t length,
                               const std::vector<size_t>& excludedIndexes, int64_t cuid) = 0;
  virtual void getMissingFastPiece(std::vector<std::shared_ptr<Piece>>& pieces,
                                   size_t minMissingBlocks, const uint8_t* peerBitfield,
                                   size_t length, const std::vector<size_t>& allowedFastIndexes,
                                   const std::vector<size_t>& excludedIndexes, int64_t cuid) = 0;
  virtual bool hasMissingUnusedPiece() = 0;

  virtual std::shared_ptr<Piece> getMissingPiece(size_t minSplitSize, const uint8_t* ignoreBitfield,
                                                 size_t length, int64_t cuid) = 0;
  virtual std::shared_ptr<Piece> getMissingPiece(size_t index, int64_t cuid) = 0;
  virtual std::shared_ptr<Piece> getPiece(size_t index) = 0;
  virtual void markPieceMissing(size_t index) = 0;
  virtual void completePiece(const std::shared_ptr<Piece>& piece) = 0;
  virtual void cancelPiece(const std::shared_ptr<Piece>& piece, int64_t cuid) = 0;
  virtual bool hasPiece(size_t index) = 0;
  virtual bool isPieceUsed(size_t index) = 0;

  virtual int64_t getTotalLength() = 0;
  virtual int64_t getFilteredTotalLength() = 0;
  virtual int64_t getCompletedLength() = 0;
  virtual int64_t getFilteredCompletedLength() = 0;
  virtual void setupFileFilter() = 0;
  virtual void clearFileFilter() = 0;
  virtual bool downloadFinished() = 0;
  virtual bool allDownloadFinished() = 0;
  virtual void initStorage() = 0;
  virtual const uint8_t* getBitfield() = 0;
  virtual void setBitfield(const uint8_t* bitfield, size_t bitfieldLength) = 0;
  virtual size_t getBitfieldLength() = 0;
  virtual bool isSelectiveDownloadingMode() = 0;
  virtual bool isEndGame() = 0;
  virtual void enterEndGame() = 0;
  virtual void setEndGamePieceNum(size_t num) = 0;
  virtual std::shared_ptr<DiskAdaptor> getDiskAdaptor() = 0;
  virtual WrDiskCache* getWrDiskCache() = 0;
  // Writes the cached data of every piece in flight. A piece whose cached data
  // could not be written has its blocks marked missing again, and the failure
  // is thrown (DownloadFailureException) once every piece has been flushed.
  virtual void flushWrDiskCacheEntry(bool releaseEntries) = 0;
  virtual int32_t getPieceLength(size_t index) = 0;
  virtual void advertisePiece(int64_t cuid, size_t index, Timer registeredTime) = 0;
  virtual uint64_t getAdvertisedPieceIndexes(std::vector<size_t>& indexes, int64_t myCuid,
                                             uint64_t lastHaveIndex) = 0;
  virtual void removeAdvertisedPiece(const Timer& expiry) = 0;
  virtual void markAllPiecesDone() = 0;
  virtual void markPiecesDone(int64_t length) = 0;
  virtual void addInFlightPiece(const std::vector<std::shared_ptr<Piece>>& pieces) = 0;
  virtual size_t countInFlightPiece() = 0;
  virtual void getInFlightPieces(std::vector<std::shared_ptr<Piece>>& pieces) = 0;
  virtual void addPieceStats(size_t index) = 0;
  virtual void addPieceStats(const uint8_t* bitfield, size_t bitfieldLength) = 0;
  virtual void subtractPieceStats(const uint8_t* bitfield, size_t bitfieldLength) = 0;
  virtual void updatePieceStats(const uint8_t* newBitfield, size_t newBitfieldLength,
                                const uint8_t* oldBitfield) = 0;
  virtual size_t getNextUsedIndex(size_t index) = 0;
  virtual void onDownloadIncomplete() = 0;
};

}  // namespace quarn
