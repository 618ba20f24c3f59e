#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quarn {

class BtMessage;

// Makes the messages of one peer connection wired to its collaborators; the
// messages ask it for the answers they queue.
class BtMessageFactory {
 public:
  virtual ~BtMessageFactory() = default;
  virtual std::unique_ptr<BtMessage> createPieceMessage(size_t index, int32_t begin,
                                                        int32_t length) = 0;
  virtual std::unique_ptr<BtMessage> createRejectMessage(size_t index, int32_t begin,
                                                         int32_t length) = 0;
};

}  // namespace quarn
