#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Command.h"
#include "net/SocketBuffer.h"

namespace quarn {

class ARC4Encryptor;
class DHKeyExchange;
class DownloadContext;
class MessageDigest;
class Option;
class SocketCore;

// One side of the encrypted peer handshake of one connection: a
// Diffie-Hellman exchange in the clear, then an RC4-encrypted negotiation that
// proves both sides know the info hash and agrees on plain or RC4 for the
// stream that follows. The commands that drive it call the steps in order;
// each step returns false (with want-read set) while too few bytes are
// buffered, and throws DlAbortEx when the peer broke the protocol.
class MSEHandshake {
 public:
  enum HandshakeType { HANDSHAKE_NOT_YET = 0, HANDSHAKE_LEGACY = 1, HANDSHAKE_ENCRYPTED = 2 };
  enum CryptoType { CRYPTO_NONE = 0, CRYPTO_PLAIN_TEXT = 1, CRYPTO_ARC4 = 2 };

  // The published 768-bit prime of the encrypted handshake, and its generator.
  static constexpr char PRIME[] =
      "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A0879"
      "8E3404DDEF9519B3CD3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A63A3621"
      "0000000000090563";
  static constexpr char GENERATOR[] = "2";
  static constexpr size_t PRIME_BITS = 768;
  static constexpr size_t KEY_LENGTH = (PRIME_BITS + 7) / 8;
  static constexpr size_t VC_LENGTH = 8;
  static constexpr size_t MAX_PAD_LENGTH = 512;
  static constexpr size_t MAX_IA_LENGTH = 68;
  static constexpr size_t MAX_BUFFER_LENGTH = 636;
  static constexpr size_t INFO_HASH_LENGTH = 20;

  MSEHandshake(cuid_t cuid, std::shared_ptr<SocketCore> socket, const Option* option);
  ~MSEHandshake();
  MSEHandshake(const MSEHandshake&) = delete;
  MSEHandshake& operator=(const MSEHandshake&) = delete;

  HandshakeType identifyHandshakeType();
  void initEncryptionFacility(bool initiator);
  void sendPublicKey();
  bool receivePublicKey();
  void initCipher(const unsigned char* infoHash);
  void sendInitiatorStep2();
  bool findInitiatorVCMarker();
  bool receiveInitiatorCryptoSelectAndPadDLength();
  bool receivePad();
  bool findReceiverHashMarker();
  bool receiveReceiverHashAndPadCLength(
      const std::vector<std::shared_ptr<DownloadContext>>& downloadContexts);
  bool receiveReceiverIALength();
  bool receiveReceiverIA();
  void sendReceiverStep2();

  // Reads what fits into the receive buffer; throws "Got EOF from peer."
  // when the peer closed.
  bool read();
  // Sends queued bytes; true once none are left.
  bool send();
  void shiftBuffer(size_t n);

  bool getWantRead() const { return wantRead_; }
  void setWantRead(bool wantRead) { wantRead_ = wantRead; }
  bool getWantWrite() const { return !socketBuffer_.sendBufferIsEmpty(); }
  CryptoType getNegotiatedCryptoType() const { return negotiatedCryptoType_; }
  const unsigned char* getBuffer() const { return rbuf_; }
  size_t getBufferLength() const { return rbufLength_; }
  const unsigned char* getIA() const { return ia_.data(); }
  size_t getIALength() const { return iaLength_; }
  const unsigned char* getInfoHash() const { return infoHash_; }
  std::unique_ptr<ARC4Encryptor> popEncryptor();
  std::unique_ptr<ARC4Encryptor> popDecryptor();

 private:
  bool plainAllowed() const;
  void encryptAndSend(std::vector<unsigned char> data);
  void createReq1Hash(unsigned char* md) const;
  void createReq23Hash(unsigned char* md, const unsigned char* infoHash) const;
  uint16_t verifyPadLength(const unsigned char* padlen, const char* padName);
  void verifyVC(unsigned char* vcbuf);
  void verifyReq1Hash(const unsigned char* req1buf);
  size_t drawPadLength() const;
  bool need(size_t length);

  cuid_t cuid_;
  std::shared_ptr<SocketCore> socket_;
  bool wantRead_;
  const Option* option_;
  unsigned char rbuf_[MAX_BUFFER_LENGTH];
  size_t rbufLength_;
  SocketBuffer socketBuffer_;
  CryptoType negotiatedCryptoType_;
  std::unique_ptr<DHKeyExchange> dh_;
  std::unique_ptr<ARC4Encryptor> encryptor_;
  std::unique_ptr<ARC4Encryptor> decryptor_;
  unsigned char infoHash_[INFO_HASH_LENGTH];
  unsigned char secret_[KEY_LENGTH];
  bool initiator_;
  unsigned char initiatorVCMarker_[VC_LENGTH];
  size_t markerIndex_;
  uint16_t padLength_;
  uint16_t iaLength_;
  std::vector<unsigned char> ia_;
  std::unique_ptr<MessageDigest> sha1_;
};

}  // namespace quarn
