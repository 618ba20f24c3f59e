#include "bittorrent/MSEHandshake.h"

#include <algorithm>
#include <cstring>

#include "bittorrent/ARC4Encryptor.h"
#include "bittorrent/DHKeyExchange.h"
#include "bittorrent/torrent_reader.h"
#include "bittorrent/wire_fields.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/MessageDigest.h"
#include "foundation/SimpleRandomizer.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"
#include "net/SocketCore.h"
#include "storage/DownloadContext.h"

namespace quarn {

namespace {

constexpr size_t PRIVATE_KEY_BITS = 160;
constexpr size_t CRYPTO_BITS_LENGTH = 4;
constexpr size_t PAD_LENGTH_LENGTH = 2;
constexpr size_t HASH_LENGTH = 20;
// Keystream bytes both sides throw away before using a cipher.
constexpr size_t DISCARD_LENGTH = 1024;
constexpr unsigned char VC[MSEHandshake::VC_LENGTH] = {0};
constexpr char BT_PSTR[] = "BitTorrent protocol";

std::unique_ptr<ARC4Encryptor> makeCipher(const unsigned char* key) {
  auto cipher = std::make_unique<ARC4Encryptor>();
  cipher->init(key, HASH_LENGTH);
  unsigned char garbage[DISCARD_LENGTH];
  cipher->encrypt(DISCARD_LENGTH, garbage, garbage);
  return cipher;
}

}  // namespace

MSEHandshake::MSEHandshake(cuid_t cuid, std::shared_ptr<SocketCore> socket, const Option* option)
    : cuid_(cuid),
      socket_(std::move(socket)),
      wantRead_(false),
      option_(option),
      rbufLength_(0),
      socketBuffer_(socket_),
      negotiatedCryptoType_(CRYPTO_NONE),
      initiator_(true),
      markerIndex_(0),
      padLength_(0),
      iaLength_(0),
      sha1_(MessageDigest::sha1()) {
  std::memset(rbuf_, 0, sizeof(rbuf_));
  std::memset(infoHash_, 0, sizeof(infoHash_));
  std::memset(secret_, 0, sizeof(secret_));
  std::memset(initiatorVCMarker_, 0, sizeof(initiatorVCMarker_));
}

MSEHandshake::~MSEHandshake() = default;

bool MSEHandshake::need(size_t length) {
  if (rbufLength_ < length) {
    wantRead_ = true;
    return false;
  }
  return true;
}

MSEHandshake::HandshakeType MSEHandshake::identifyHandshakeType() {
  if (!need(20)) {
    return HANDSHAKE_NOT_YET;
  }
  if (rbuf_[0] == 19 && std::memcmp(rbuf_ + 1, BT_PSTR, 19) == 0) {
    QLOG_DEBUG(
        fmt("CUID#%lld - This is legacy BitTorrent handshake.", static_cast<long long>(cuid_)));
    return HANDSHAKE_LEGACY;
  }
  QLOG_DEBUG(fmt("CUID#%lld - This may be encrypted BitTorrent handshake.",
                 static_cast<long long>(cuid_)));
  return HANDSHAKE_ENCRYPTED;
}

void MSEHandshake::initEncryptionFacility(bool initiator) {
  dh_ = std::make_unique<DHKeyExchange>();
  dh_->init(PRIME, PRIME_BITS, GENERATOR, PRIVATE_KEY_BITS);
  dh_->generatePublicKey();
  QLOG_DEBUG(fmt("CUID#%lld - DH initialized.", static_cast<long long>(cuid_)));
  initiator_ = initiator;
}

size_t MSEHandshake::drawPadLength() const {
  return static_cast<size_t>(SimpleRandomizer::getInstance()->getRandomNumber(MAX_PAD_LENGTH + 1));
}

void MSEHandshake::sendPublicKey() {
  QLOG_DEBUG(fmt("CUID#%lld - Sending public key.", static_cast<long long>(cuid_)));
  std::vector<unsigned char> buf(KEY_LENGTH + drawPadLength());
  dh_->getPublicKey(buf.data(), KEY_LENGTH);
  dh_->generateNonce(buf.data() + KEY_LENGTH, buf.size() - KEY_LENGTH);
  socketBuffer_.pushBytes(std::move(buf));
}

bool MSEHandshake::receivePublicKey() {
  if (!need(KEY_LENGTH)) {
    return false;
  }
  QLOG_DEBUG(fmt("CUID#%lld - public key received.", static_cast<long long>(cuid_)));
  dh_->computeSecret(secret_, sizeof(secret_), rbuf_, KEY_LENGTH);
  shiftBuffer(KEY_LENGTH);
  return true;
}

void MSEHandshake::initCipher(const unsigned char* infoHash) {
  std::memcpy(infoHash_, infoHash, INFO_HASH_LENGTH);
  auto keyOf = [this](const char* name, unsigned char* out) {
    sha1_->reset();
    sha1_->update(name, 4).update(secret_, KEY_LENGTH).update(infoHash_, INFO_HASH_LENGTH);
    sha1_->digest(out);
  };
  unsigned char keyA[HASH_LENGTH];
  unsigned char keyB[HASH_LENGTH];
  keyOf("keyA", keyA);
  keyOf("keyB", keyB);
  encryptor_ = makeCipher(initiator_ ? keyA : keyB);
  decryptor_ = makeCipher(initiator_ ? keyB : keyA);
  if (initiator_) {
    // The receiver's VC as it will appear on the wire: the marker to look for.
    auto vcCipher = makeCipher(keyB);
    vcCipher->encrypt(VC_LENGTH, initiatorVCMarker_, VC);
  }
}

void MSEHandshake::encryptAndSend(std::vector<unsigned char> data) {
  encryptor_->encrypt(data.size(), data.data(), data.data());
  socketBuffer_.pushBytes(std::move(data));
}

void MSEHandshake::createReq1Hash(unsigned char* md) const {
  sha1_->reset();
  sha1_->update("req1", 4).update(secret_, KEY_LENGTH);
  sha1_->digest(md);
}

void MSEHandshake::createReq23Hash(unsigned char* md, const unsigned char* infoHash) const {
  unsigned char x[HASH_LENGTH];
  sha1_->reset();
  sha1_->update("req2", 4).update(infoHash, INFO_HASH_LENGTH);
  sha1_->digest(x);
  unsigned char y[HASH_LENGTH];
  sha1_->reset();
  sha1_->update("req3", 4).update(secret_, KEY_LENGTH);
  sha1_->digest(y);
  for (size_t i = 0; i < HASH_LENGTH; ++i) {
    md[i] = x[i] ^ y[i];
  }
}

bool MSEHandshake::plainAllowed() const {
  return !option_->getAsBool(PREF_BT_FORCE_ENCRYPTION) &&
         option_->get(PREF_BT_MIN_CRYPTO_LEVEL) == V_PLAIN;
}

void MSEHandshake::sendInitiatorStep2() {
  QLOG_DEBUG(fmt("CUID#%lld - Sending negotiation step2.", static_cast<long long>(cuid_)));
  std::vector<unsigned char> hashes(HASH_LENGTH * 2);
  createReq1Hash(hashes.data());
  createReq23Hash(hashes.data() + HASH_LENGTH, infoHash_);
  socketBuffer_.pushBytes(std::move(hashes));
  // VC, crypto provide, len(PadC), PadC (zeros), len(IA) = 0.
  const size_t padLength = drawPadLength();
  std::vector<unsigned char> buf(VC_LENGTH + CRYPTO_BITS_LENGTH + PAD_LENGTH_LENGTH + padLength +
                                 PAD_LENGTH_LENGTH);
  uint32_t provide = CRYPTO_ARC4;
  if (plainAllowed()) {
    provide |= CRYPTO_PLAIN_TEXT;
  }
  bittorrent::setIntParam(buf.data() + VC_LENGTH, provide);
  bittorrent::setShortIntParam(buf.data() + VC_LENGTH + CRYPTO_BITS_LENGTH,
                               static_cast<uint16_t>(padLength));
  encryptAndSend(std::move(buf));
}

uint16_t MSEHandshake::verifyPadLength(const unsigned char* padlen, const char* padName) {
  QLOG_DEBUG(
      fmt("CUID#%lld - Verifying Pad length for %s", static_cast<long long>(cuid_), padName));
  unsigned char buf[PAD_LENGTH_LENGTH];
  decryptor_->encrypt(PAD_LENGTH_LENGTH, buf, padlen);
  const uint16_t padLength = bittorrent::getShortIntParam(buf, 0);
  QLOG_DEBUG(fmt("CUID#%lld - len(%s)=%u", static_cast<long long>(cuid_), padName, padLength));
  if (padLength > MAX_PAD_LENGTH) {
    throw DL_ABORT_EX(fmt("Too large %s length: %u", padName, padLength));
  }
  return padLength;
}

void MSEHandshake::verifyVC(unsigned char* vcbuf) {
  QLOG_DEBUG(fmt("CUID#%lld - Verifying VC.", static_cast<long long>(cuid_)));
  decryptor_->encrypt(VC_LENGTH, vcbuf, vcbuf);
  if (std::memcmp(VC, vcbuf, VC_LENGTH) != 0) {
    throw DL_ABORT_EX(fmt("Invalid VC: %s", util::toHex(vcbuf, VC_LENGTH).c_str()));
  }
}

bool MSEHandshake::findInitiatorVCMarker() {
  // The marker can only follow a pad of at most 512 bytes. Looking further
  // would accept a longer pad when it happened to arrive in one read and
  // refuse it when it came in pieces.
  for (size_t i = 0; i <= MAX_PAD_LENGTH && i + VC_LENGTH <= rbufLength_; ++i) {
    if (std::memcmp(rbuf_ + i, initiatorVCMarker_, VC_LENGTH) == 0) {
      markerIndex_ = i;
      QLOG_DEBUG(fmt("CUID#%lld - VC marker found at %lu", static_cast<long long>(cuid_),
                     static_cast<unsigned long>(markerIndex_)));
      verifyVC(rbuf_ + markerIndex_);
      shiftBuffer(markerIndex_ + VC_LENGTH);
      return true;
    }
  }
  if (rbufLength_ < MAX_PAD_LENGTH + VC_LENGTH) {
    wantRead_ = true;
    return false;
  }
  throw DL_ABORT_EX("Failed to find VC marker.");
}

bool MSEHandshake::receiveInitiatorCryptoSelectAndPadDLength() {
  if (!need(CRYPTO_BITS_LENGTH + PAD_LENGTH_LENGTH)) {
    return false;
  }
  unsigned char select[CRYPTO_BITS_LENGTH];
  decryptor_->encrypt(CRYPTO_BITS_LENGTH, select, rbuf_);
  const uint32_t bits = bittorrent::getIntParam(select, 0);
  if ((bits & CRYPTO_PLAIN_TEXT) && plainAllowed()) {
    QLOG_DEBUG(fmt("CUID#%lld - peer prefers plaintext.", static_cast<long long>(cuid_)));
    negotiatedCryptoType_ = CRYPTO_PLAIN_TEXT;
  }
  if (bits & CRYPTO_ARC4) {
    QLOG_DEBUG(fmt("CUID#%lld - peer prefers ARC4", static_cast<long long>(cuid_)));
    negotiatedCryptoType_ = CRYPTO_ARC4;
  }
  if (negotiatedCryptoType_ == CRYPTO_NONE) {
    throw DL_ABORT_EX(
        fmt("CUID#%lld - No supported crypto type selected.", static_cast<long long>(cuid_)));
  }
  padLength_ = verifyPadLength(rbuf_ + CRYPTO_BITS_LENGTH, "PadD");
  shiftBuffer(CRYPTO_BITS_LENGTH + PAD_LENGTH_LENGTH);
  return true;
}

bool MSEHandshake::receivePad() {
  if (padLength_ == 0) {
    return true;
  }
  if (!need(padLength_)) {
    return false;
  }
  // Decrypted only to keep the keystream in step with the peer's.
  unsigned char scratch[MAX_PAD_LENGTH];
  decryptor_->encrypt(padLength_, scratch, rbuf_);
  shiftBuffer(padLength_);
  return true;
}

void MSEHandshake::verifyReq1Hash(const unsigned char* req1buf) {
  QLOG_DEBUG(fmt("CUID#%lld - Verifying req hash.", static_cast<long long>(cuid_)));
  unsigned char md[HASH_LENGTH];
  createReq1Hash(md);
  if (std::memcmp(md, req1buf, HASH_LENGTH) != 0) {
    throw DL_ABORT_EX("Invalid req1 hash found.");
  }
}

bool MSEHandshake::findReceiverHashMarker() {
  unsigned char md[HASH_LENGTH];
  createReq1Hash(md);
  // As with the VC marker: never further than the longest pad.
  for (size_t i = 0; i <= MAX_PAD_LENGTH && i + HASH_LENGTH <= rbufLength_; ++i) {
    if (std::memcmp(rbuf_ + i, md, HASH_LENGTH) == 0) {
      markerIndex_ = i;
      QLOG_DEBUG(fmt("CUID#%lld - Hash marker found at %lu.", static_cast<long long>(cuid_),
                     static_cast<unsigned long>(markerIndex_)));
      verifyReq1Hash(rbuf_ + markerIndex_);
      shiftBuffer(markerIndex_ + HASH_LENGTH);
      return true;
    }
  }
  if (rbufLength_ < MAX_PAD_LENGTH + HASH_LENGTH) {
    wantRead_ = true;
    return false;
  }
  throw DL_ABORT_EX("Failed to find hash marker.");
}

bool MSEHandshake::receiveReceiverHashAndPadCLength(
    const std::vector<std::shared_ptr<DownloadContext>>& downloadContexts) {
  constexpr size_t length = HASH_LENGTH + VC_LENGTH + CRYPTO_BITS_LENGTH + PAD_LENGTH_LENGTH;
  if (!need(length)) {
    return false;
  }
  const unsigned char* found = nullptr;
  for (const auto& ctx : downloadContexts) {
    const auto* attrs = bittorrent::getTorrentAttrs(ctx);
    if (!attrs || attrs->infoHash.size() != INFO_HASH_LENGTH) {
      continue;
    }
    const auto* infoHash = reinterpret_cast<const unsigned char*>(attrs->infoHash.data());
    unsigned char md[HASH_LENGTH];
    createReq23Hash(md, infoHash);
    if (std::memcmp(md, rbuf_, HASH_LENGTH) == 0) {
      QLOG_DEBUG(fmt("CUID#%lld - info hash found: %s", static_cast<long long>(cuid_),
                     util::toHex(infoHash, INFO_HASH_LENGTH).c_str()));
      found = infoHash;
      break;
    }
  }
  if (!found) {
    throw DL_ABORT_EX("Unknown info hash.");
  }
  initCipher(found);
  verifyVC(rbuf_ + HASH_LENGTH);
  unsigned char provide[CRYPTO_BITS_LENGTH];
  decryptor_->encrypt(CRYPTO_BITS_LENGTH, provide, rbuf_ + HASH_LENGTH + VC_LENGTH);
  const uint32_t bits = bittorrent::getIntParam(provide, 0);
  if ((bits & CRYPTO_PLAIN_TEXT) && plainAllowed()) {
    QLOG_DEBUG(fmt("CUID#%lld - peer provides plaintext.", static_cast<long long>(cuid_)));
    negotiatedCryptoType_ = CRYPTO_PLAIN_TEXT;
  } else if (bits & CRYPTO_ARC4) {
    QLOG_DEBUG(fmt("CUID#%lld - peer provides ARC4.", static_cast<long long>(cuid_)));
    negotiatedCryptoType_ = CRYPTO_ARC4;
  } else {
    throw DL_ABORT_EX(
        fmt("CUID#%lld - No supported crypto type provided.", static_cast<long long>(cuid_)));
  }
  padLength_ = verifyPadLength(rbuf_ + HASH_LENGTH + VC_LENGTH + CRYPTO_BITS_LENGTH, "PadC");
  shiftBuffer(length);
  return true;
}

bool MSEHandshake::receiveReceiverIALength() {
  if (!need(PAD_LENGTH_LENGTH)) {
    return false;
  }
  unsigned char buf[PAD_LENGTH_LENGTH];
  decryptor_->encrypt(PAD_LENGTH_LENGTH, buf, rbuf_);
  iaLength_ = bittorrent::getShortIntParam(buf, 0);
  if (iaLength_ > MAX_IA_LENGTH) {
    throw DL_ABORT_EX(fmt("Too large IA length length: %u", iaLength_));
  }
  QLOG_DEBUG(fmt("CUID#%lld - len(IA)=%u.", static_cast<long long>(cuid_), iaLength_));
  shiftBuffer(PAD_LENGTH_LENGTH);
  return true;
}

bool MSEHandshake::receiveReceiverIA() {
  if (iaLength_ == 0) {
    return true;
  }
  if (!need(iaLength_)) {
    return false;
  }
  ia_.resize(iaLength_);
  decryptor_->encrypt(iaLength_, ia_.data(), rbuf_);
  QLOG_DEBUG(fmt("CUID#%lld - IA received.", static_cast<long long>(cuid_)));
  shiftBuffer(iaLength_);
  return true;
}

void MSEHandshake::sendReceiverStep2() {
  const size_t padLength = drawPadLength();
  std::vector<unsigned char> buf(VC_LENGTH + CRYPTO_BITS_LENGTH + PAD_LENGTH_LENGTH + padLength);
  bittorrent::setIntParam(buf.data() + VC_LENGTH, negotiatedCryptoType_);
  bittorrent::setShortIntParam(buf.data() + VC_LENGTH + CRYPTO_BITS_LENGTH,
                               static_cast<uint16_t>(padLength));
  encryptAndSend(std::move(buf));
}

bool MSEHandshake::read() {
  if (rbufLength_ >= MAX_BUFFER_LENGTH) {
    return true;
  }
  size_t len = MAX_BUFFER_LENGTH - rbufLength_;
  socket_->readData(rbuf_ + rbufLength_, len);
  if (len == 0 && !socket_->wantRead() && !socket_->wantWrite()) {
    throw DL_ABORT_EX(_("Got EOF from peer."));
  }
  rbufLength_ += len;
  wantRead_ = false;
  return true;
}

bool MSEHandshake::send() {
  socketBuffer_.send();
  return socketBuffer_.sendBufferIsEmpty();
}

void MSEHandshake::shiftBuffer(size_t n) {
  n = std::min(n, rbufLength_);
  std::memmove(rbuf_, rbuf_ + n, rbufLength_ - n);
  rbufLength_ -= n;
}

std::unique_ptr<ARC4Encryptor> MSEHandshake::popEncryptor() {
  return std::move(encryptor_);
}

std::unique_ptr<ARC4Encryptor> MSEHandshake::popDecryptor() {
  return std::move(decryptor_);
}

}  // namespace quarn
