#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarn {
namespace bittorrent {

// Big-endian integer fields inside a peer, tracker or DHT buffer. The caller
// guarantees that the bytes at offset exist.
uint8_t getId(const unsigned char* msg);
uint16_t getShortIntParam(const unsigned char* msg, size_t offset);
uint32_t getIntParam(const unsigned char* msg, size_t offset);
uint64_t getLLIntParam(const unsigned char* msg, size_t offset);
void setShortIntParam(unsigned char* dest, uint16_t value);
void setIntParam(unsigned char* dest, uint32_t value);
void setLLIntParam(unsigned char* dest, uint64_t value);

// Zero-fills the buffer (at least 5 bytes) and writes the 4-byte length
// prefix and the message id.
void createPeerMessageString(unsigned char* buffer, size_t bufferLength, size_t payloadLength,
                             uint8_t messageId);

// The largest block a request, cancel or reject may name.
inline constexpr int32_t MAX_BLOCK_LENGTH = 65536;

// Checks of received message fields; each throws DlAbortEx when the field
// cannot be used. begin and length are as the peer sent them, so negative
// values are refused before they can become file offsets.
void checkIndex(size_t index, size_t pieces);
void checkBegin(int32_t begin, int32_t pieceLength);
void checkLength(int32_t length);
void checkRange(int32_t begin, int32_t length, int32_t pieceLength);
void checkBitfield(const unsigned char* bitfield, size_t bitfieldLength, size_t pieces);

void assertPayloadLengthGreater(size_t threshold, size_t actual, const std::string& messageName);
void assertPayloadLengthEqual(size_t expected, size_t actual, const std::string& messageName);
void assertID(uint8_t expected, const unsigned char* msg, const std::string& messageName);

}  // namespace bittorrent
}  // namespace quarn
