#include "dht/DHTQueryMessage.h"

#include "foundation/Dict.h"

namespace quarn {

void DHTQueryMessage::fillMessage(Dict& msgDict) const {
  msgDict.put("q", getMessageType());
  msgDict.put("a", getArgument());
}

}  // namespace quarn
