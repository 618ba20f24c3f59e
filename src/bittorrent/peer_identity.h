#pragma once

#include <string>

namespace quarn {
namespace bittorrent {

// A fresh 20-byte peer id: the prefix cut to 20 bytes, filled up with random
// bytes.
std::string generatePeerId(const std::string& prefix);

// The process's peer id and peer agent, made once at start-up from
// "peer-id-prefix" and "peer-agent"; every handshake and announce carries them.
const std::string& generateStaticPeerId(const std::string& prefix);
void setStaticPeerId(const std::string& newPeerId);
// The 20 bytes of the process peer id, made with the prefix "quarn-" when
// start-up has not made it.
const unsigned char* getStaticPeerId();

const std::string& generateStaticPeerAgent(const std::string& agent);
void setStaticPeerAgent(const std::string& agent);
const std::string& getStaticPeerAgent();

}  // namespace bittorrent
}  // namespace quarn
