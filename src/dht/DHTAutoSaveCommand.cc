#include "dht/DHTAutoSaveCommand.h"

#include <sys/socket.h>

#include "config/Option.h"
#include "config/prefs.h"
#include "dht/save_routing_table.h"
#include "engine/DownloadEngine.h"

namespace quarn {

DHTAutoSaveCommand::DHTAutoSaveCommand(cuid_t cuid, DownloadEngine* e, int family,
                                       std::chrono::seconds interval)
    : TimeBasedCommand(cuid, e, interval), family_(family) {}

void DHTAutoSaveCommand::preProcess() {
  exitWhenRunIsOver();
  if (isExit()) {
    save();
  }
}

void DHTAutoSaveCommand::save() {
  const Pref* pref = family_ == AF_INET ? PREF_DHT_FILE_PATH : PREF_DHT_FILE_PATH6;
  dht::saveRoutingTable(getDownloadEngine()->getOption()->get(pref), family_, localNode_,
                        *routingTable_);
}

}  // namespace quarn
