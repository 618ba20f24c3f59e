#include "dht/DHTPingMessage.h"

#include "dht/DHTMessageCallback.h"
#include "dht/DHTMessageDispatcher.h"
#include "dht/DHTMessageFactory.h"
#include "dht/DHTNode.h"
#include "dht/DHTResponseMessage.h"
#include "foundation/Dict.h"

namespace quarn {

void DHTPingMessage::doReceivedAction() {
  getMessageDispatcher()->addMessageToQueue(
      getMessageFactory()->createPingReplyMessage(getRemoteNode(), getLocalNode()->getID(),
                                                  getTransactionID()),
      nullptr);
}

std::unique_ptr<Dict> DHTPingMessage::getArgument() const {
  auto a = Dict::g();
  a->put("id", dhtIdString(getLocalNode()->getID()));
  return a;
}

}  // namespace quarn
