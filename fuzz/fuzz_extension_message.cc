// Decodes arbitrary bytes as an extended message payload (extended id first)
// the way a peer connection does: 0 the extension handshake, 8 peer
// exchange, 9 metadata exchange. Whatever decodes must encode to a payload
// that decodes to the same message again.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "bittorrent/DefaultExtensionMessageFactory.h"
#include "bittorrent/ExtensionMessageRegistry.h"
#include "bittorrent/HandshakeExtensionMessage.h"
#include "bittorrent/Peer.h"
#include "bittorrent/UTMetadataDataExtensionMessage.h"
#include "bittorrent/UTMetadataExtensionMessage.h"
#include "bittorrent/UTPexExtensionMessage.h"
#include "foundation/RecoverableException.h"

namespace {

std::unique_ptr<quarn::ExtensionMessage> decode(quarn::DefaultExtensionMessageFactory& factory,
                                                uint8_t id, const std::string& payload) {
  std::string wire = std::string(1, static_cast<char>(id)) + payload;
  return factory.createMessage(reinterpret_cast<const unsigned char*>(wire.data()), wire.size());
}

void check(quarn::DefaultExtensionMessageFactory& factory, quarn::ExtensionMessage& msg,
           uint8_t id) {
  auto again = decode(factory, id, msg.getPayload());
  if (again->toString() != msg.toString()) {
    abort();
  }
  if (auto* pex = dynamic_cast<quarn::UTPexExtensionMessage*>(&msg)) {
    auto* other = static_cast<quarn::UTPexExtensionMessage*>(again.get());
    if (pex->getFreshPeers().size() != other->getFreshPeers().size()) {
      abort();
    }
  }
  if (auto* data = dynamic_cast<quarn::UTMetadataDataExtensionMessage*>(&msg)) {
    auto* other = static_cast<quarn::UTMetadataDataExtensionMessage*>(again.get());
    if (data->getData() != other->getData() || data->getTotalSize() != other->getTotalSize()) {
      abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  quarn::ExtensionMessageRegistry registry;
  registry.setExtensionMessageID(quarn::EXT_UT_PEX, 8);
  registry.setExtensionMessageID(quarn::EXT_UT_METADATA, 9);
  auto peer = std::make_shared<quarn::Peer>("192.168.0.1", 6881);
  quarn::DefaultExtensionMessageFactory factory(peer, &registry);
  std::unique_ptr<quarn::ExtensionMessage> msg;
  try {
    msg = factory.createMessage(data, size);
  } catch (const quarn::RecoverableException&) {
    return 0;
  }
  // Pex peers of a received message are neither incoming nor stale, so they
  // go out again; the handshake loses nothing it keeps.
  if (auto* pex = dynamic_cast<quarn::UTPexExtensionMessage*>(msg.get())) {
    quarn::UTPexExtensionMessage out(8);
    out.setMaxFreshPeer(SIZE_MAX);
    for (const auto& p : pex->getFreshPeers()) {
      out.addFreshPeer(p);
    }
    if (out.getFreshPeers().size() != pex->getFreshPeers().size()) {
      abort();
    }
    check(factory, out, 8);
    return 0;
  }
  check(factory, *msg, data[0]);
  return 0;
}
