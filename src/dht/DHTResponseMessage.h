#pragma once

#include <memory>

#include "dht/DHTAbstractMessage.h"

namespace quarn {

class DHTMessageCallback;

// A reply: return values under "r".
class DHTResponseMessage : public DHTAbstractMessage {
 public:
  using DHTAbstractMessage::DHTAbstractMessage;

  std::string getType() const override { return "r"; }
  bool isReply() const override { return true; }
  void fillMessage(Dict& msgDict) const override;
  std::string toString() const override { return describe("response"); }
  virtual std::unique_ptr<Dict> getResponse() const = 0;
  // Hands this reply to the callback's visit of its class.
  virtual void accept(DHTMessageCallback* callback) = 0;
};

}  // namespace quarn
