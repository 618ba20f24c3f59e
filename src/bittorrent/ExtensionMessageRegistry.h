#pragma once

#include <array>
#include <cstdint>

namespace quarn {

// The extensions of the extension protocol, by key.
enum BtExtension : uint8_t { EXT_UT_METADATA = 0, EXT_UT_PEX = 1, MAX_EXTENSION = 2 };

// The name of an extension key; null for a key that names none.
const char* strBtExtension(int key);
// The key of an extension name; MAX_EXTENSION for an unknown name.
int keyBtExtension(const char* name);

// The message id under which each extension is received; 0 when the side
// does not support it.
class ExtensionMessageRegistry {
 public:
  uint8_t getExtensionMessageID(int key) const;
  // The name whose id is id; null for 0 or an id no extension has.
  const char* getExtensionName(uint8_t id) const;
  void setExtensionMessageID(int key, uint8_t id);
  void removeExtension(int key);
  void setExtensions(const std::array<uint8_t, MAX_EXTENSION>& ids) { ids_ = ids; }
  const std::array<uint8_t, MAX_EXTENSION>& getExtensions() const { return ids_; }

 private:
  std::array<uint8_t, MAX_EXTENSION> ids_{};
};

}  // namespace quarn
