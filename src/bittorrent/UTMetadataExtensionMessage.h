#pragma once

#include <cstddef>
#include <cstdint>

#include "bittorrent/ExtensionMessage.h"

namespace quarn {

// What the three messages of the metadata exchange have in common: the id
// they travel under and the index of the 16 KiB metadata piece they concern.
class UTMetadataExtensionMessage : public ExtensionMessage {
 public:
  static constexpr const char EXTENSION_NAME[] = "ut_metadata";

  explicit UTMetadataExtensionMessage(uint8_t extensionMessageID)
      : extensionMessageID_(extensionMessageID) {}

  uint8_t getExtensionMessageID() const override { return extensionMessageID_; }
  const char* getExtensionName() const override { return EXTENSION_NAME; }
  size_t getIndex() const { return index_; }
  void setIndex(size_t index) { index_ = index; }

 private:
  uint8_t extensionMessageID_;
  size_t index_ = 0;
};

}  // namespace quarn
