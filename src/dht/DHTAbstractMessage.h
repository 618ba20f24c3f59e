#pragma once

#include <memory>
#include <string>

#include "dht/DHTMessage.h"

namespace quarn {

class Dict;
class DHTConnection;
class DHTMessageDispatcher;
class DHTMessageFactory;
class DHTRoutingTable;

// A message that can be encoded and sent, and act through its collaborators.
class DHTAbstractMessage : public DHTMessage {
 public:
  using DHTMessage::DHTMessage;

  bool send() override;
  // The "y" value.
  virtual std::string getType() const = 0;
  virtual void fillMessage(Dict& msgDict) const = 0;
  virtual std::string toStringOptional() const { return ""; }

  std::string getBencodedMessage() const;

  void setConnection(DHTConnection* connection) { connection_ = connection; }
  void setMessageDispatcher(DHTMessageDispatcher* dispatcher) { dispatcher_ = dispatcher; }
  void setMessageFactory(DHTMessageFactory* factory) { factory_ = factory; }
  void setRoutingTable(DHTRoutingTable* routingTable) { routingTable_ = routingTable; }

 protected:
  // The text shared by queries and replies after the given kind word.
  std::string describe(const char* kind) const;

  DHTConnection* getConnection() const { return connection_; }
  DHTMessageDispatcher* getMessageDispatcher() const { return dispatcher_; }
  DHTMessageFactory* getMessageFactory() const { return factory_; }
  DHTRoutingTable* getRoutingTable() const { return routingTable_; }

 private:
  DHTConnection* connection_ = nullptr;
  DHTMessageDispatcher* dispatcher_ = nullptr;
  DHTMessageFactory* factory_ = nullptr;
  DHTRoutingTable* routingTable_ = nullptr;
};

}  // namespace quarn
