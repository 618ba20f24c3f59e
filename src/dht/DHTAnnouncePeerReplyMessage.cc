#include "dht/DHTAnnouncePeerReplyMessage.h"

#include "dht/DHTMessageCallback.h"
#include "dht/DHTNode.h"
#include "foundation/Dict.h"

namespace quarn {

std::unique_ptr<Dict> DHTAnnouncePeerReplyMessage::getResponse() const {
  auto r = Dict::g();
  r->put("id", dhtIdString(getLocalNode()->getID()));
  return r;
}

void DHTAnnouncePeerReplyMessage::accept(DHTMessageCallback* callback) {
  callback->visit(this);
}

}  // namespace quarn
