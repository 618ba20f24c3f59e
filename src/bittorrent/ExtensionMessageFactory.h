#pragma once

#include <cstddef>
#include <memory>

namespace quarn {

class ExtensionMessage;

// Decodes a received extended payload (extended id first).
class ExtensionMessageFactory {
 public:
  virtual ~ExtensionMessageFactory() = default;
  virtual std::unique_ptr<ExtensionMessage> createMessage(const unsigned char* data,
                                                          size_t length) = 0;
};

}  // namespace quarn
