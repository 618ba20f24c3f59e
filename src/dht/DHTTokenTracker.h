#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// Hands out the tokens of get_peers replies and checks those that come back
// with announce_peer. A token is good for the address, port and info hash it
// was made for, under the current or the previous secret.
class DHTTokenTracker {
 public:
  static constexpr size_t SECRET_LENGTH = 4;

  DHTTokenTracker();
  // Both secrets are the given 4 bytes.
  explicit DHTTokenTracker(const unsigned char* secret);

  // Throws DlAbortEx when ipaddr is not a numeric address.
  std::string generateToken(const unsigned char* infoHash, const std::string& ipaddr,
                            uint16_t port) const;
  bool validateToken(const std::string& token, const unsigned char* infoHash,
                     const std::string& ipaddr, uint16_t port) const;
  void updateTokenSecret();

 private:
  std::string generateToken(const unsigned char* infoHash, const std::string& ipaddr, uint16_t port,
                            const unsigned char* secret) const;

  unsigned char secret_[2][SECRET_LENGTH];
};

}  // namespace quarn
