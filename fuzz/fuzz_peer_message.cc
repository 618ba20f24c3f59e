// Decodes arbitrary bytes as a peer message payload (id byte first) with the
// decoder of that id. A decoded fixed-layout message must encode back to the
// same bytes, and one its validator accepts must name a block inside the
// torrent (10 pieces of 32 KiB, the last one 1000 bytes).
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <span>

#include "bittorrent/BtBitfieldMessage.h"
#include "bittorrent/BtHandshakeMessage.h"
#include "bittorrent/BtPieceMessage.h"
#include "bittorrent/BtPortMessage.h"
#include "bittorrent/IndexBtMessage.h"
#include "bittorrent/RangeBtMessage.h"
#include "bittorrent/ZeroBtMessage.h"
#include "bittorrent/message_validators.h"
#include "foundation/RecoverableException.h"

namespace {

constexpr size_t PIECES = 10;
constexpr int32_t PIECE_LENGTH = 32768;

int32_t pieceLength(size_t index) {
  return index == PIECES - 1 ? 1000 : PIECE_LENGTH;
}

void roundTrip(quarn::SimpleBtMessage& msg, std::span<const std::byte> payload) {
  auto wire = msg.createMessage();
  if (wire.size() != payload.size() + 4 ||
      !std::equal(payload.begin(), payload.end(), reinterpret_cast<std::byte*>(wire.data()) + 4)) {
    abort();
  }
}

template <typename T>
void range(std::span<const std::byte> payload) {
  auto msg = T::create(payload);
  roundTrip(*msg, payload);
  quarn::RangeBtMessageValidator(msg.get(), PIECES, pieceLength(msg->getIndex())).validate();
  const int64_t end = static_cast<int64_t>(msg->getBegin()) + msg->getLength();
  if (msg->getIndex() >= PIECES || msg->getBegin() < 0 || msg->getLength() <= 0 ||
      end > pieceLength(msg->getIndex())) {
    abort();
  }
}

template <typename T>
void index(std::span<const std::byte> payload) {
  auto msg = T::create(payload);
  roundTrip(*msg, payload);
  quarn::IndexBtMessageValidator(msg.get(), PIECES).validate();
  if (msg->getIndex() >= PIECES) {
    abort();
  }
}

template <typename T>
void zero(std::span<const std::byte> payload) {
  auto msg = T::create(payload);
  roundTrip(*msg, payload);
}

void decode(std::span<const std::byte> payload) {
  switch (static_cast<uint8_t>(payload.empty() ? std::byte{255} : payload[0])) {
    case 0:
      return zero<quarn::BtChokeMessage>(payload);
    case 1:
      return zero<quarn::BtUnchokeMessage>(payload);
    case 2:
      return zero<quarn::BtInterestedMessage>(payload);
    case 3:
      return zero<quarn::BtNotInterestedMessage>(payload);
    case 4:
      return index<quarn::BtHaveMessage>(payload);
    case 5: {
      auto msg = quarn::BtBitfieldMessage::create(payload);
      roundTrip(*msg, payload);
      quarn::BtBitfieldMessageValidator(msg.get(), PIECES).validate();
      return;
    }
    case 6:
      return range<quarn::BtRequestMessage>(payload);
    case 7: {
      auto msg = quarn::BtPieceMessage::create(payload);
      quarn::BtPieceMessageValidator(msg.get(), PIECES, pieceLength(msg->getIndex())).validate();
      if (msg->getBegin() < 0 || msg->getBegin() >= pieceLength(msg->getIndex()) ||
          static_cast<size_t>(msg->getBlockLength()) + 9 != payload.size()) {
        abort();
      }
      return;
    }
    case 8:
      return range<quarn::BtCancelMessage>(payload);
    case 9: {
      auto msg = quarn::BtPortMessage::create(payload);
      roundTrip(*msg, payload);
      return;
    }
    case 13:
      return index<quarn::BtSuggestPieceMessage>(payload);
    case 14:
      return zero<quarn::BtHaveAllMessage>(payload);
    case 15:
      return zero<quarn::BtHaveNoneMessage>(payload);
    case 16:
      return range<quarn::BtRejectMessage>(payload);
    case 17:
      return index<quarn::BtAllowedFastMessage>(payload);
    default: {
      // Any other first byte: read the input as a handshake.
      auto msg = quarn::BtHandshakeMessage::create(payload);
      auto wire = msg->createMessage();
      if (!std::equal(wire.begin(), wire.end(),
                      reinterpret_cast<const unsigned char*>(payload.data()))) {
        abort();
      }
      return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    decode(std::as_bytes(std::span<const uint8_t>(data, size)));
  } catch (const quarn::RecoverableException&) {
  }
  return 0;
}
