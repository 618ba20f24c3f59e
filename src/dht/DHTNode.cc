#include "dht/DHTNode.h"

#include <cstring>

#include "foundation/fmt.h"
#include "foundation/util_random.h"
#include "foundation/util_string.h"
#include "foundation/wallclock.h"

namespace quarn {

DHTNode::DHTNode() : condition_(0) {
  util::generateRandomKey(id_);
}

DHTNode::DHTNode(const unsigned char* id) : condition_(1) {
  setID(id);
}

void DHTNode::setID(const unsigned char* id) {
  memcpy(id_, id, DHT_ID_LENGTH);
}

bool DHTNode::isQuestionable() const {
  return !isBad() && lastContact_.difference(global::wallclock()) > DHT_NODE_CONTACT_INTERVAL;
}

void DHTNode::updateLastContact() {
  lastContact_ = global::wallclock();
}

std::string DHTNode::toString() const {
  return fmt("DHTNode ID=%s, Host=%s(%u), Condition=%d, RTT=%ld",
             util::toHex(id_, DHT_ID_LENGTH).c_str(), ipaddr_.c_str(), port_, condition_,
             static_cast<long>(rtt_));
}

bool DHTNode::operator==(const DHTNode& other) const {
  return memcmp(id_, other.id_, DHT_ID_LENGTH) == 0;
}

}  // namespace quarn
