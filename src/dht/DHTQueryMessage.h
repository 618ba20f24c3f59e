#pragma once

#include <memory>

#include "dht/DHTAbstractMessage.h"

namespace quarn {

// A query: method name under "q", arguments under "a".
class DHTQueryMessage : public DHTAbstractMessage {
 public:
  using DHTAbstractMessage::DHTAbstractMessage;

  std::string getType() const override { return "q"; }
  bool isReply() const override { return false; }
  void fillMessage(Dict& msgDict) const override;
  std::string toString() const override { return describe("query"); }
  virtual std::unique_ptr<Dict> getArgument() const = 0;
};

}  // namespace quarn
