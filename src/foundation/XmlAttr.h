#pragma once

#include <cstddef>

namespace quarn {

// One attribute of an element start. The pointers refer to the XML reader's own buffers
// and are valid only during the beginElement call that receives them.
struct XmlAttr {
  const char* localname = nullptr;
  const char* prefix = nullptr;
  const char* nsUri = nullptr;
  const char* value = nullptr;  // not zero-terminated
  size_t valueLength = 0;
};

}  // namespace quarn
