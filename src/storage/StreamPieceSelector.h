#pragma once

#include <cstddef>
#include <cstdint>

namespace quarn {

class BitfieldMan;

// Picks the piece at which a new HTTP, FTP or SFTP segment starts.
class StreamPieceSelector {
 public:
  virtual ~StreamPieceSelector() = default;
  virtual bool select(size_t& index, size_t minSplitSize, const uint8_t* ignoreBitfield,
                      size_t length) = 0;
  virtual void onBitfieldInit() = 0;
};

class DefaultStreamPieceSelector : public StreamPieceSelector {
 public:
  explicit DefaultStreamPieceSelector(BitfieldMan* bitfieldMan) : bitfieldMan_(bitfieldMan) {}
  bool select(size_t& index, size_t minSplitSize, const uint8_t* ignoreBitfield,
              size_t length) override;
  void onBitfieldInit() override {}

 private:
  BitfieldMan* bitfieldMan_;
};

class InorderStreamPieceSelector : public StreamPieceSelector {
 public:
  explicit InorderStreamPieceSelector(BitfieldMan* bitfieldMan) : bitfieldMan_(bitfieldMan) {}
  bool select(size_t& index, size_t minSplitSize, const uint8_t* ignoreBitfield,
              size_t length) override;
  void onBitfieldInit() override {}

 private:
  BitfieldMan* bitfieldMan_;
};

class RandomStreamPieceSelector : public StreamPieceSelector {
 public:
  explicit RandomStreamPieceSelector(BitfieldMan* bitfieldMan) : bitfieldMan_(bitfieldMan) {}
  bool select(size_t& index, size_t minSplitSize, const uint8_t* ignoreBitfield,
              size_t length) override;
  void onBitfieldInit() override {}

 private:
  BitfieldMan* bitfieldMan_;
};

class GeomStreamPieceSelector : public StreamPieceSelector {
 public:
  GeomStreamPieceSelector(BitfieldMan* bitfieldMan, double base)
      : bitfieldMan_(bitfieldMan), base_(base), offsetIndex_(0) {}
  bool select(size_t& index, size_t minSplitSize, const uint8_t* ignoreBitfield,
              size_t length) override;
  void onBitfieldInit() override;

 private:
  BitfieldMan* bitfieldMan_;
  double base_;
  size_t offsetIndex_;
};

}  // namespace quarn
