#include "dht/DHTAbstractMessage.h"

#include "dht/DHTConnection.h"
#include "dht/DHTConstants.h"
#include "dht/DHTNode.h"
#include "foundation/Dict.h"
#include "foundation/bencode2.h"
#include "foundation/fmt.h"
#include "foundation/util_chars.h"
#include "foundation/util_string.h"

namespace quarn {

std::string DHTAbstractMessage::getBencodedMessage() const {
  Dict msgDict;
  msgDict.put("t", getTransactionID());
  msgDict.put("y", getType());
  msgDict.put("v", getVersion());
  fillMessage(msgDict);
  return bencode2::encode(&msgDict);
}

bool DHTAbstractMessage::send() {
  std::string message = getBencodedMessage();
  ssize_t r = connection_->sendMessage(reinterpret_cast<const unsigned char*>(message.data()),
                                       message.size(), getRemoteNode()->getIPAddress(),
                                       getRemoteNode()->getPort());
  return r == static_cast<ssize_t>(message.size());
}

std::string DHTAbstractMessage::describe(const char* kind) const {
  const auto& remote = getRemoteNode();
  return fmt("dht %s %s TransactionID=%s Remote:%s(%u), id=%s, v=%s, %s", kind,
             getMessageType().c_str(), util::toHex(getTransactionID()).c_str(),
             remote->getIPAddress().c_str(), remote->getPort(),
             util::toHex(remote->getID(), DHT_ID_LENGTH).c_str(),
             util::torrentPercentEncode(getVersion()).c_str(), toStringOptional().c_str());
}

}  // namespace quarn
