#include "dht/DHTMessage.h"

#include "dht/DHTConstants.h"
#include "dht/DHTNode.h"
#include "foundation/util_random.h"

namespace quarn {

DHTMessage::DHTMessage(std::shared_ptr<DHTNode> localNode, std::shared_ptr<DHTNode> remoteNode,
                       std::string transactionID)
    : localNode_(std::move(localNode)),
      remoteNode_(std::move(remoteNode)),
      transactionID_(std::move(transactionID)) {
  if (transactionID_.empty()) {
    unsigned char tid[DHT_TRANSACTION_ID_LENGTH];
    util::generateRandomData(tid, sizeof(tid));
    transactionID_.assign(reinterpret_cast<const char*>(tid), sizeof(tid));
  }
}

DHTMessage::~DHTMessage() = default;

}  // namespace quarn
