#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bittorrent/BtMessageValidator.h"

namespace quarn {

class IndexBtMessage;
class RangeBtMessage;
class BtPieceMessage;
class BtBitfieldMessage;
class BtHandshakeMessage;

// have, suggest piece, allowed fast: the piece must exist.
class IndexBtMessageValidator : public BtMessageValidator {
 public:
  IndexBtMessageValidator(const IndexBtMessage* message, size_t numPiece)
      : message_(message), numPiece_(numPiece) {}
  void validate() override;

 private:
  const IndexBtMessage* message_;
  size_t numPiece_;
};

// request, cancel, reject: the block must lie inside the named piece.
// pieceLength is the length of that piece (the last one may be shorter).
class RangeBtMessageValidator : public BtMessageValidator {
 public:
  RangeBtMessageValidator(const RangeBtMessage* message, size_t numPiece, int32_t pieceLength)
      : message_(message), numPiece_(numPiece), pieceLength_(pieceLength) {}
  void validate() override;

 private:
  const RangeBtMessage* message_;
  size_t numPiece_;
  int32_t pieceLength_;
};

// piece: the block must start inside the named piece; its data is used only
// when it answers an outstanding request.
class BtPieceMessageValidator : public BtMessageValidator {
 public:
  BtPieceMessageValidator(const BtPieceMessage* message, size_t numPiece, int32_t pieceLength)
      : message_(message), numPiece_(numPiece), pieceLength_(pieceLength) {}
  void validate() override;

 private:
  const BtPieceMessage* message_;
  size_t numPiece_;
  int32_t pieceLength_;
};

class BtBitfieldMessageValidator : public BtMessageValidator {
 public:
  BtBitfieldMessageValidator(const BtBitfieldMessage* message, size_t numPiece)
      : message_(message), numPiece_(numPiece) {}
  void validate() override;

 private:
  const BtBitfieldMessage* message_;
  size_t numPiece_;
};

// The protocol string and the torrent must be the expected ones.
class BtHandshakeMessageValidator : public BtMessageValidator {
 public:
  BtHandshakeMessageValidator(const BtHandshakeMessage* message, const unsigned char* infoHash);
  void validate() override;

 private:
  const BtHandshakeMessage* message_;
  std::string infoHash_;
};

}  // namespace quarn
