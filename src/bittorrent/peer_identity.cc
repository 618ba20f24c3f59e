#include "bittorrent/peer_identity.h"

#include "foundation/util_random.h"

namespace quarn {
namespace bittorrent {

namespace {

constexpr size_t PEER_ID_LENGTH = 20;

// The one process-wide identity of this program in every swarm.
std::string& staticPeerId() {
  static std::string peerId;
  return peerId;
}

std::string& staticPeerAgent() {
  static std::string peerAgent;
  return peerAgent;
}

}  // namespace

std::string generatePeerId(const std::string& prefix) {
  std::string peerId = prefix.substr(0, PEER_ID_LENGTH);
  if (peerId.size() < PEER_ID_LENGTH) {
    const size_t fill = PEER_ID_LENGTH - peerId.size();
    std::string random(fill, '\0');
    util::generateRandomData(reinterpret_cast<unsigned char*>(random.data()), fill);
    peerId += random;
  }
  return peerId;
}

const std::string& generateStaticPeerId(const std::string& prefix) {
  if (staticPeerId().empty()) {
    staticPeerId() = generatePeerId(prefix);
  }
  return staticPeerId();
}

// Kept at 20 bytes so that readers of the raw id never run past it.
void setStaticPeerId(const std::string& newPeerId) {
  staticPeerId() = generatePeerId(newPeerId);
}

const unsigned char* getStaticPeerId() {
  return reinterpret_cast<const unsigned char*>(generateStaticPeerId("quarn-").data());
}

const std::string& generateStaticPeerAgent(const std::string& agent) {
  if (staticPeerAgent().empty()) {
    staticPeerAgent() = agent;
  }
  return staticPeerAgent();
}

void setStaticPeerAgent(const std::string& agent) {
  staticPeerAgent() = agent;
}

const std::string& getStaticPeerAgent() {
  return generateStaticPeerAgent("quarn/1.37.0");
}

}  // namespace bittorrent
}  // namespace quarn
