#include "bittorrent/DefaultExtensionMessageFactory.h"

#include "bittorrent/ExtensionMessageRegistry.h"
#include "bittorrent/HandshakeExtensionMessage.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"

namespace quarn {

std::unique_ptr<ExtensionMessage> DefaultExtensionMessageFactory::createMessage(
    const unsigned char* data, size_t length) {
  const uint8_t id = data[0];
  if (id == HandshakeExtensionMessage::EXTENSION_MESSAGE_ID) {
    auto msg = HandshakeExtensionMessage::create(data, length);
    msg->setPeer(peer_);
    msg->setDownloadContext(dctx_);
    return msg;
  }
  const char* name = registry_->getExtensionName(id);
  if (!name) {
    throw DL_ABORT_EX(fmt("No extension registered for extended message ID %u", id));
  }
  // Metadata and peer exchange messages are decoded once those extensions
  // are offered; until then no id is registered for them.
  throw DL_ABORT_EX(fmt(
      "Unsupported extension message received. extensionMessageID=%u, extensionName=%s", id, name));
}

}  // namespace quarn
