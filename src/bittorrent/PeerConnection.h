#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "net/SocketBuffer.h"

namespace quarn {

class ProgressUpdate;
class Peer;
class SocketCore;
class ARC4Encryptor;

// The byte stream of one peer socket: cuts what arrives into the 68-byte
// handshake and then length-prefixed messages, and queues what the messages
// send. Once the encrypted handshake switched it on, everything read is
// decrypted and everything queued is encrypted.
class PeerConnection {
 public:
  static constexpr size_t INITIAL_CAPACITY = 64 * 1024 + 128;

  PeerConnection(int64_t cuid, std::shared_ptr<Peer> peer, std::shared_ptr<SocketCore> socket);
  virtual ~PeerConnection();
  PeerConnection(const PeerConnection&) = delete;
  PeerConnection& operator=(const PeerConnection&) = delete;

  // Completes one message if the buffer and the socket allow: true with its
  // payload length (0 for a keep-alive) and, when data is given, a copy of
  // the payload. Without data the payload stays at getMsgPayloadBuffer()
  // until the next call. False when more bytes are needed.
  bool receiveMessage(unsigned char* data, size_t& dataLength);
  const unsigned char* getMsgPayloadBuffer() const { return resbuf_.data() + msgOffset_ + 4; }
  // Takes exactly the 68 handshake bytes; bytes behind them stay buffered
  // for the message framing. Copies what is buffered of the handshake (up
  // to dataLength) into data. Unless peek, a complete handshake is consumed.
  bool receiveHandshake(unsigned char* data, size_t& dataLength, bool peek = false);

  virtual void pushBytes(std::vector<unsigned char> bytes,
                         std::unique_ptr<ProgressUpdate> progressUpdate = nullptr);
  ssize_t sendPendingData();
  bool sendBufferIsEmpty() const { return socketBuffer_.sendBufferIsEmpty(); }
  size_t getBufferEntrySize() const { return socketBuffer_.getBufferEntrySize(); }

  void enableEncryption(std::unique_ptr<ARC4Encryptor> encryptor,
                        std::unique_ptr<ARC4Encryptor> decryptor);
  // Bytes an earlier stage already read from the socket, used as they are.
  void presetBuffer(const unsigned char* data, size_t length);
  // Grows the receive buffer to size (a large bitfield must fit); never shrinks.
  void reserveBuffer(size_t size);

  size_t getBufferLength() const { return resbufLength_; }
  const unsigned char* getBuffer() const { return resbuf_.data(); }
  size_t getBufferCapacity() const { return resbuf_.size(); }

 private:
  // Advances the framing over the buffered bytes; true when a message ended.
  bool scanBuffer();
  void compactBuffer();
  // Reads into the buffer's free part; false when nothing arrived yet.
  bool readIntoBuffer(size_t want, size_t missingForLog);

  int64_t cuid_;
  std::shared_ptr<Peer> peer_;
  std::shared_ptr<SocketCore> socket_;
  int msgState_ = 0;
  std::vector<unsigned char> resbuf_;
  size_t resbufLength_ = 0;
  uint32_t currentPayloadLength_ = 0;
  size_t resbufOffset_ = 0;
  size_t msgOffset_ = 0;
  SocketBuffer socketBuffer_;
  bool encryptionEnabled_ = false;
  std::unique_ptr<ARC4Encryptor> encryptor_;
  std::unique_ptr<ARC4Encryptor> decryptor_;
};

}  // namespace quarn
