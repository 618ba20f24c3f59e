// Plays a genuine counterpart of the encrypted handshake (its own key
// exchange and ciphers) against one MSEHandshake, as receiver or as
// initiator, and lets the input choose everything the counterpart sends
// after the public keys: garbage before the marker, then the plaintext of the
// encrypted part (VC, crypto field, pad lengths, pads, IA and the stream
// behind them). The input is delivered once whole and once a byte at a
// time; both runs must end alike: the same error, or the same crypto type,
// IA and stream handed on.
//
// Input: byte 0 bit 0 picks the role under test (0 receiver, 1 initiator),
// bit 1 the lowest crypto level ("plain" or "arc4"), bits 2-7 times 9 the
// garbage length taken from the input; the rest is the plaintext.
#include <openssl/provider.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bittorrent/ARC4Encryptor.h"
#include "bittorrent/DHKeyExchange.h"
#include "bittorrent/MSEHandshake.h"
#include "bittorrent/TorrentAttribute.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/MessageDigest.h"
#include "foundation/RecoverableException.h"
#include "net/SocketCore.h"
#include "storage/DownloadContext.h"

namespace {

using quarn::MSEHandshake;

constexpr size_t MAX_FUZZ_INPUT = 4096;
constexpr size_t KEY_LENGTH = MSEHandshake::KEY_LENGTH;
const std::string INFO_HASH = "fuzz-mse-info-hash!!";

struct Outcome {
  std::string error;
  int crypto = 0;
  std::string ia;
  std::string stream;
  bool operator==(const Outcome&) const = default;
};

std::string sha1(const std::string& a, const std::string& b, const std::string& c = "") {
  return quarn::MessageDigest::sha1()
      ->update(a.data(), a.size())
      .update(b.data(), b.size())
      .update(c.data(), c.size())
      .digest();
}

std::unique_ptr<quarn::ARC4Encryptor> cipher(const std::string& key) {
  auto c = std::make_unique<quarn::ARC4Encryptor>();
  c->init(reinterpret_cast<const unsigned char*>(key.data()), key.size());
  std::vector<unsigned char> discard(1024);
  c->encrypt(discard.size(), discard.data(), discard.data());
  return c;
}

void encrypt(quarn::ARC4Encryptor& c, std::string& bytes) {
  auto* p = reinterpret_cast<unsigned char*>(bytes.data());
  c.encrypt(bytes.size(), p, p);
}

// The counterpart's side of the key exchange.
struct Counterpart {
  quarn::DHKeyExchange dh;
  std::string publicKey = std::string(KEY_LENGTH, '\0');
  std::string secret = std::string(KEY_LENGTH, '\0');

  Counterpart() {
    dh.init(MSEHandshake::PRIME, MSEHandshake::PRIME_BITS, MSEHandshake::GENERATOR, 160);
    dh.generatePublicKey();
    dh.getPublicKey(reinterpret_cast<unsigned char*>(publicKey.data()), KEY_LENGTH);
  }
  void agree(const std::string& peerKey) {
    dh.computeSecret(reinterpret_cast<unsigned char*>(secret.data()), KEY_LENGTH,
                     reinterpret_cast<const unsigned char*>(peerKey.data()), KEY_LENGTH);
  }
  std::string key(const char* name) const { return sha1(name, secret, INFO_HASH); }
};

bool endsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void writeAll(int fd, const std::string& bytes) {
  if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    abort();
  }
}

std::string readExactly(int fd, size_t n) {
  std::string out(n, '\0');
  size_t got = 0;
  while (got < n) {
    const ssize_t r = read(fd, out.data() + got, n - got);
    if (r <= 0) {
      abort();
    }
    got += static_cast<size_t>(r);
  }
  return out;
}

// Runs the handshake's steps in order for as long as they complete.
class Driver {
 public:
  Driver(MSEHandshake& h, std::vector<std::function<bool()>> steps)
      : h_(h), steps_(std::move(steps)) {}

  bool done() const { return next_ == steps_.size(); }

  void run() {
    while (!done()) {
      if (h_.getWantRead()) {
        const size_t before = h_.getBufferLength();
        h_.read();
        if (h_.getBufferLength() == before && before < MSEHandshake::MAX_BUFFER_LENGTH) {
          // Nothing new arrived: the step would only ask again.
          h_.setWantRead(true);
          return;
        }
      }
      if (!steps_[next_]()) {
        if (!h_.getWantRead()) {
          return;  // unsent bytes: nothing more to do in this turn
        }
        continue;
      }
      ++next_;
    }
  }

 private:
  MSEHandshake& h_;
  std::vector<std::function<bool()>> steps_;
  size_t next_ = 0;
};

// Delivers `bytes` in pieces of `step`, driving the handshake after each
// until it is done; the rest is the stream behind it.
void deliver(int fd, Driver& driver, const std::string& bytes, size_t step) {
  for (size_t i = 0; i < bytes.size(); i += step) {
    writeAll(fd, bytes.substr(i, step));
    driver.run();
  }
}

Outcome run(const uint8_t* data, size_t size, size_t step) {
  const bool initiator = data[0] & 1;
  quarn::Option option;
  option.put(quarn::PREF_BT_FORCE_ENCRYPTION, "false");
  option.put(quarn::PREF_BT_MIN_CRYPTO_LEVEL, (data[0] & 2) ? "arc4" : "plain");
  const size_t garbageLength = std::min<size_t>((data[0] >> 2) * 9, size - 1);
  const std::string garbage(reinterpret_cast<const char*>(data) + 1, garbageLength);
  std::string plain(reinterpret_cast<const char*>(data) + 1 + garbageLength,
                    size - 1 - garbageLength);

  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
    abort();
  }
  auto socket = std::make_shared<quarn::SocketCore>(fds[0], SOCK_STREAM);
  socket->setNonBlockingMode();
  MSEHandshake h(1, socket, &option);
  auto ctx = std::make_shared<quarn::DownloadContext>(16384, 16384, "/fuzz/x");
  auto attrs = std::make_shared<quarn::TorrentAttribute>();
  attrs->infoHash = INFO_HASH;
  ctx->setAttribute(quarn::CTX_ATTR_BT, attrs);
  const auto* infoHash = reinterpret_cast<const unsigned char*>(INFO_HASH.data());
  Counterpart c;
  Outcome out;
  std::vector<std::function<bool()>> steps;
  if (initiator) {
    steps = {[&] {
               if (!h.receivePublicKey()) {
                 return false;
               }
               h.initCipher(infoHash);
               h.sendInitiatorStep2();
               return true;
             },
             [&] { return h.send(); }, [&] { return h.findInitiatorVCMarker(); },
             [&] { return h.receiveInitiatorCryptoSelectAndPadDLength(); },
             [&] { return h.receivePad(); }};
  } else {
    steps = {[&] {
               const auto type = h.identifyHandshakeType();
               if (type == MSEHandshake::HANDSHAKE_ENCRYPTED) {
                 h.initEncryptionFacility(false);
               }
               return type == MSEHandshake::HANDSHAKE_ENCRYPTED;
             },
             [&] {
               if (!h.receivePublicKey()) {
                 return false;
               }
               h.sendPublicKey();
               return true;
             },
             [&] { return h.send(); },
             [&] { return h.findReceiverHashMarker(); },
             [&] { return h.receiveReceiverHashAndPadCLength({ctx}); },
             [&] { return h.receivePad(); },
             [&] { return h.receiveReceiverIALength(); },
             [&] {
               if (!h.receiveReceiverIA()) {
                 return false;
               }
               h.sendReceiverStep2();
               return true;
             },
             [&] { return h.send(); }};
  }
  Driver driver(h, std::move(steps));
  try {
    std::string rest;
    // The counterpart's encrypted part, before and after encryption.
    std::pair<std::string, std::string> tail;
    if (initiator) {
      h.initEncryptionFacility(true);
      h.sendPublicKey();
      h.send();
      c.agree(readExactly(fds[1], KEY_LENGTH));
      auto enc = cipher(c.key("keyB"));
      const std::string clear = plain;
      encrypt(*enc, plain);
      rest = c.publicKey + garbage + plain;
      tail = {clear, plain};
    } else {
      h.setWantRead(true);
      deliver(fds[1], driver, c.publicKey, step);
      c.agree(readExactly(fds[1], KEY_LENGTH));
      auto enc = cipher(c.key("keyA"));
      const std::string clear = plain;
      encrypt(*enc, plain);
      tail = {clear, plain};
      const std::string req1 = sha1("req1", c.secret);
      std::string req23 = sha1("req2", INFO_HASH);
      const std::string req3 = sha1("req3", c.secret);
      for (size_t i = 0; i < req23.size(); ++i) {
        req23[i] ^= req3[i];
      }
      rest = garbage + req1 + req23 + plain;
    }
    deliver(fds[1], driver, rest, step);
    shutdown(fds[1], SHUT_WR);
    driver.run();
    if (driver.done()) {
      out.crypto = h.getNegotiatedCryptoType();
      out.ia.assign(h.getIA(), h.getIA() + h.getIALength());
      // What the peer connection would read next: the bytes read ahead,
      // then the rest of the socket.
      out.stream.assign(h.getBuffer(), h.getBuffer() + h.getBufferLength());
      char buf[4096];
      ssize_t n;
      while ((n = read(fds[0], buf, sizeof(buf))) > 0) {
        out.stream.append(buf, static_cast<size_t>(n));
      }
      if (out.crypto == MSEHandshake::CRYPTO_ARC4) {
        encrypt(*h.popDecryptor(), out.stream);
      } else {
        // A plain stream is handed on as it came: the last bytes on the wire,
        // compared in the clear so that both runs' keys drop out.
        if (!endsWith(tail.second, out.stream)) {
          abort();
        }
        out.stream = tail.first.substr(tail.first.size() - out.stream.size());
      }
      // Nothing lost, nothing added: the stream is what followed the
      // handshake.
      if (!endsWith(tail.first, out.stream)) {
        abort();
      }
    } else {
      out.error = "incomplete";
    }
  } catch (const quarn::RecoverableException& e) {
    out.error = e.what();
  }
  close(fds[1]);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // RC4 lives in OpenSSL's legacy provider, which the program loads at start-up.
  static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  static OSSL_PROVIDER* fallback = OSSL_PROVIDER_load(nullptr, "default");
  (void)legacy;
  (void)fallback;
  if (size == 0) {
    return 0;
  }
  size = std::min(size, MAX_FUZZ_INPUT);
  const Outcome whole = run(data, size, MAX_FUZZ_INPUT * 2);
  const Outcome split = run(data, size, 1);
  if (!(whole == split)) {
    abort();
  }
  if (whole.error.empty() && whole.crypto != MSEHandshake::CRYPTO_PLAIN_TEXT &&
      whole.crypto != MSEHandshake::CRYPTO_ARC4) {
    abort();
  }
  return 0;
}
