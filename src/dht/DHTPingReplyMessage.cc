#include "dht/DHTPingReplyMessage.h"

#include <cstring>

#include "dht/DHTMessageCallback.h"
#include "foundation/Dict.h"

namespace quarn {

DHTPingReplyMessage::DHTPingReplyMessage(std::shared_ptr<DHTNode> localNode,
                                         std::shared_ptr<DHTNode> remoteNode,
                                         const unsigned char* id, std::string transactionID)
    : DHTResponseMessage(std::move(localNode), std::move(remoteNode), std::move(transactionID)) {
  memcpy(id_, id, DHT_ID_LENGTH);
}

std::unique_ptr<Dict> DHTPingReplyMessage::getResponse() const {
  auto r = Dict::g();
  r->put("id", dhtIdString(id_));
  return r;
}

void DHTPingReplyMessage::accept(DHTMessageCallback* callback) {
  callback->visit(this);
}

}  // namespace quarn
