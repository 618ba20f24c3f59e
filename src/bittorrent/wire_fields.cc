#include "bittorrent/wire_fields.h"

#include <cassert>
#include <cstring>

#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"

namespace quarn {
namespace bittorrent {

namespace {

uint64_t readBigEndian(const unsigned char* p, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) {
    value = (value << 8) | p[i];
  }
  return value;
}

void writeBigEndian(unsigned char* dest, uint64_t value, size_t bytes) {
  for (size_t i = bytes; i > 0; --i) {
    dest[i - 1] = static_cast<unsigned char>(value & 0xff);
    value >>= 8;
  }
}

}  // namespace

uint8_t getId(const unsigned char* msg) {
  return msg[0];
}

uint16_t getShortIntParam(const unsigned char* msg, size_t offset) {
  return static_cast<uint16_t>(readBigEndian(msg + offset, 2));
}

uint32_t getIntParam(const unsigned char* msg, size_t offset) {
  return static_cast<uint32_t>(readBigEndian(msg + offset, 4));
}

uint64_t getLLIntParam(const unsigned char* msg, size_t offset) {
  return readBigEndian(msg + offset, 8);
}

void setShortIntParam(unsigned char* dest, uint16_t value) {
  writeBigEndian(dest, value, 2);
}

void setIntParam(unsigned char* dest, uint32_t value) {
  writeBigEndian(dest, value, 4);
}

void setLLIntParam(unsigned char* dest, uint64_t value) {
  writeBigEndian(dest, value, 8);
}

void createPeerMessageString(unsigned char* buffer, size_t bufferLength, size_t payloadLength,
                             uint8_t messageId) {
  assert(bufferLength >= 5 && "msgLength >= 5");
  std::memset(buffer, 0, bufferLength);
  setIntParam(buffer, static_cast<uint32_t>(payloadLength));
  buffer[4] = messageId;
}

void checkIndex(size_t index, size_t pieces) {
  if (index >= pieces) {
    throw DL_ABORT_EX(fmt("Invalid index: %lu", static_cast<unsigned long>(index)));
  }
}

void checkBegin(int32_t begin, int32_t pieceLength) {
  if (begin < 0 || begin >= pieceLength) {
    throw DL_ABORT_EX(fmt("Invalid begin: %d", begin));
  }
}

void checkLength(int32_t length) {
  if (length > MAX_BLOCK_LENGTH) {
    throw DL_ABORT_EX(fmt("Length too long: %d > %dKB", length, MAX_BLOCK_LENGTH / 1024));
  }
  if (length == 0) {
    throw DL_ABORT_EX(fmt("Invalid length: %d", length));
  }
}

void checkRange(int32_t begin, int32_t length, int32_t pieceLength) {
  // Widened so that a begin near the top of the int range cannot wrap.
  if (begin < 0 || length <= 0 ||
      static_cast<int64_t>(begin) + static_cast<int64_t>(length) > pieceLength) {
    throw DL_ABORT_EX(fmt("Invalid range: begin=%d, length=%d", begin, length));
  }
}

void checkBitfield(const unsigned char* bitfield, size_t bitfieldLength, size_t pieces) {
  if (bitfieldLength != (pieces + 7) / 8) {
    throw DL_ABORT_EX(
        fmt("Invalid bitfield length: %lu", static_cast<unsigned long>(bitfieldLength)));
  }
  // With no pieces the bitfield is empty and has no spare bits to examine.
  const size_t r = pieces % 8;
  if (bitfieldLength == 0 || r == 0) {
    return;
  }
  const unsigned char spareMask = static_cast<unsigned char>(0xffu >> r);
  if (bitfield[bitfieldLength - 1] & spareMask) {
    throw DL_ABORT_EX("Invalid bitfield");
  }
}

void assertPayloadLengthGreater(size_t threshold, size_t actual, const std::string& messageName) {
  if (actual <= threshold) {
    throw DL_ABORT_EX(fmt(_("Too small payload size for %s, size=%lu."), messageName.c_str(),
                          static_cast<unsigned long>(actual)));
  }
}

void assertPayloadLengthEqual(size_t expected, size_t actual, const std::string& messageName) {
  if (expected != actual) {
    throw DL_ABORT_EX(fmt(_("Invalid payload size for %s, size=%lu. It should be %lu."),
                          messageName.c_str(), static_cast<unsigned long>(actual),
                          static_cast<unsigned long>(expected)));
  }
}

void assertID(uint8_t expected, const unsigned char* msg, const std::string& messageName) {
  const uint8_t id = getId(msg);
  if (id != expected) {
    throw DL_ABORT_EX(
        fmt(_("Invalid ID=%d for %s. It should be %d."), id, messageName.c_str(), expected));
  }
}

}  // namespace bittorrent
}  // namespace quarn
