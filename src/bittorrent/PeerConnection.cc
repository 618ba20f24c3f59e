#include "bittorrent/PeerConnection.h"

#include <algorithm>
#include <cstring>

#include "bittorrent/ARC4Encryptor.h"
#include "bittorrent/BtHandshakeMessage.h"
#include "bittorrent/Peer.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "net/ProgressUpdate.h"
#include "net/SocketCore.h"

namespace quarn {

namespace {
constexpr int STATE_IDLE = 0;
constexpr int STATE_LENGTH = 1;
constexpr int STATE_PAYLOAD = 2;
constexpr size_t HANDSHAKE_LENGTH = BtHandshakeMessage::MESSAGE_LENGTH;
}  // namespace

PeerConnection::PeerConnection(int64_t cuid, std::shared_ptr<Peer> peer,
                               std::shared_ptr<SocketCore> socket)
    : cuid_(cuid),
      peer_(std::move(peer)),
      socket_(socket),
      resbuf_(INITIAL_CAPACITY),
      socketBuffer_(std::move(socket)) {}

PeerConnection::~PeerConnection() = default;

bool PeerConnection::scanBuffer() {
  while (resbufOffset_ < resbufLength_) {
    switch (msgState_) {
      case STATE_IDLE:
        msgOffset_ = resbufOffset_;
        currentPayloadLength_ = 0;
        msgState_ = STATE_LENGTH;
        [[fallthrough]];
      case STATE_LENGTH: {
        currentPayloadLength_ = currentPayloadLength_ * 256 + resbuf_[resbufOffset_++];
        if (resbufOffset_ - msgOffset_ < 4) {
          break;
        }
        // In 64 bits: a prefix near 2^32 must not wrap to a small size.
        if (static_cast<uint64_t>(resbuf_.size()) < uint64_t{currentPayloadLength_} + 4) {
          throw DL_ABORT_EX(
              fmt(_("Max payload length exceeded or invalid. length = %u"), currentPayloadLength_));
        }
        if (currentPayloadLength_ == 0) {
          msgState_ = STATE_IDLE;
          return true;
        }
        msgState_ = STATE_PAYLOAD;
        break;
      }
      case STATE_PAYLOAD:
        if (resbufLength_ - msgOffset_ >= size_t{currentPayloadLength_} + 4) {
          msgState_ = STATE_IDLE;
          resbufOffset_ = msgOffset_ + 4 + currentPayloadLength_;
          return true;
        }
        resbufOffset_ = resbufLength_;
        break;
    }
  }
  return false;
}

void PeerConnection::compactBuffer() {
  if (resbufLength_ == 0) {
    return;
  }
  if (msgState_ == STATE_IDLE) {
    // Everything buffered was consumed by complete messages.
    resbufLength_ = resbufOffset_ = msgOffset_ = 0;
    return;
  }
  std::memmove(resbuf_.data(), resbuf_.data() + msgOffset_, resbufLength_ - msgOffset_);
  resbufLength_ -= msgOffset_;
  resbufOffset_ = resbufLength_;
  msgOffset_ = 0;
}

bool PeerConnection::readIntoBuffer(size_t want, size_t missingForLog) {
  size_t length = std::min(want, resbuf_.size() - resbufLength_);
  unsigned char* dest = resbuf_.data() + resbufLength_;
  socket_->readData(dest, length);
  if (length == 0) {
    if (socket_->wantRead() || socket_->wantWrite()) {
      return false;
    }
    if (missingForLog) {
      QLOG_DEBUG(fmt("CUID#%lld - In PeerConnection::receiveHandshake(), remain=%lu",
                     static_cast<long long>(cuid_), static_cast<unsigned long>(missingForLog)));
    }
    peer_->setDisconnectedGracefully(true);
    throw DL_ABORT_EX(_("Got EOF from peer."));
  }
  if (encryptionEnabled_) {
    decryptor_->encrypt(length, dest, dest);
  }
  resbufLength_ += length;
  return true;
}

bool PeerConnection::receiveMessage(unsigned char* data, size_t& dataLength) {
  while (true) {
    if (scanBuffer()) {
      if (data && currentPayloadLength_ > 0) {
        std::memcpy(data, resbuf_.data() + msgOffset_ + 4, currentPayloadLength_);
      }
      dataLength = currentPayloadLength_;
      return true;
    }
    compactBuffer();
    // A large message is read up to its end only, so that the next one
    // starts at the front of the buffer.
    size_t want = resbuf_.size() - resbufLength_;
    if (msgState_ == STATE_PAYLOAD && currentPayloadLength_ > 4096) {
      want = size_t{currentPayloadLength_} + 4 - resbufLength_;
    }
    if (!readIntoBuffer(want, 0)) {
      return false;
    }
  }
}

bool PeerConnection::receiveHandshake(unsigned char* data, size_t& dataLength, bool peek) {
  if (resbufLength_ < HANDSHAKE_LENGTH) {
    const size_t missing = HANDSHAKE_LENGTH - resbufLength_;
    if (!readIntoBuffer(missing, missing)) {
      dataLength = std::min(dataLength, resbufLength_);
      std::memcpy(data, resbuf_.data(), dataLength);
      return false;
    }
  }
  dataLength = std::min({dataLength, resbufLength_, HANDSHAKE_LENGTH});
  std::memcpy(data, resbuf_.data(), dataLength);
  if (resbufLength_ < HANDSHAKE_LENGTH) {
    return false;
  }
  if (!peek) {
    // A peer may send its first messages in the segment of its handshake:
    // they stay buffered for the framing.
    std::memmove(resbuf_.data(), resbuf_.data() + HANDSHAKE_LENGTH,
                 resbufLength_ - HANDSHAKE_LENGTH);
    resbufLength_ -= HANDSHAKE_LENGTH;
    resbufOffset_ = msgOffset_ = 0;
    msgState_ = STATE_IDLE;
  }
  return true;
}

void PeerConnection::pushBytes(std::vector<unsigned char> bytes,
                               std::unique_ptr<ProgressUpdate> progressUpdate) {
  if (encryptionEnabled_) {
    encryptor_->encrypt(bytes.size(), bytes.data(), bytes.data());
  }
  socketBuffer_.pushBytes(std::move(bytes), std::move(progressUpdate));
}

ssize_t PeerConnection::sendPendingData() {
  const ssize_t written = socketBuffer_.send();
  QLOG_DEBUG(fmt("sent %ld byte(s).", static_cast<long>(written)));
  return written;
}

void PeerConnection::enableEncryption(std::unique_ptr<ARC4Encryptor> encryptor,
                                      std::unique_ptr<ARC4Encryptor> decryptor) {
  encryptor_ = std::move(encryptor);
  decryptor_ = std::move(decryptor);
  encryptionEnabled_ = true;
}

void PeerConnection::presetBuffer(const unsigned char* data, size_t length) {
  length = std::min(length, resbuf_.size());
  if (length > 0) {
    std::memcpy(resbuf_.data(), data, length);
  }
  resbufLength_ = length;
  resbufOffset_ = msgOffset_ = 0;
  msgState_ = STATE_IDLE;
}

void PeerConnection::reserveBuffer(size_t size) {
  if (size > resbuf_.size()) {
    resbuf_.resize(size);
  }
}

}  // namespace quarn
