#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// One message of the extension protocol, carried by an extended message.
class ExtensionMessage {
 public:
  virtual ~ExtensionMessage() = default;
  // The bytes after the extended message id.
  virtual std::string getPayload() = 0;
  // The id to send it under: the one the remote peer chose for it.
  virtual uint8_t getExtensionMessageID() const = 0;
  virtual const char* getExtensionName() const = 0;
  virtual std::string toString() const = 0;
  virtual void doReceivedAction() = 0;
};

}  // namespace quarn
