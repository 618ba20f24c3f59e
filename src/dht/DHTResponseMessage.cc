#include "dht/DHTResponseMessage.h"

#include "foundation/Dict.h"

namespace quarn {

void DHTResponseMessage::fillMessage(Dict& msgDict) const {
  msgDict.put("r", getResponse());
}

}  // namespace quarn
