#include "bittorrent/ExtensionMessageRegistry.h"

#include <cassert>
#include <cstring>

namespace quarn {

namespace {

constexpr const char* EXTENSION_NAMES[] = {"ut_metadata", "ut_pex"};

}  // namespace

const char* strBtExtension(int key) {
  return key >= 0 && key < MAX_EXTENSION ? EXTENSION_NAMES[key] : nullptr;
}

int keyBtExtension(const char* name) {
  for (int key = 0; key < MAX_EXTENSION; ++key) {
    if (std::strcmp(EXTENSION_NAMES[key], name) == 0) {
      return key;
    }
  }
  return MAX_EXTENSION;
}

uint8_t ExtensionMessageRegistry::getExtensionMessageID(int key) const {
  assert(key < MAX_EXTENSION && "key < MAX_EXTENSION");
  return ids_[key];
}

const char* ExtensionMessageRegistry::getExtensionName(uint8_t id) const {
  if (id == 0) {
    return nullptr;
  }
  for (int key = 0; key < MAX_EXTENSION; ++key) {
    if (ids_[key] == id) {
      return EXTENSION_NAMES[key];
    }
  }
  return nullptr;
}

void ExtensionMessageRegistry::setExtensionMessageID(int key, uint8_t id) {
  assert(key < MAX_EXTENSION && "key < MAX_EXTENSION");
  ids_[key] = id;
}

void ExtensionMessageRegistry::removeExtension(int key) {
  setExtensionMessageID(key, 0);
}

}  // namespace quarn
