// Splits arbitrary bytes as a URI and checks that every reported field lies
// inside the text and that an accepted URI always has a scheme and a host;
// then runs the structure, writing and resolution functions built on it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/uri.h"
#include "foundation/uri_split.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  quarn::uri_split_result res;
  quarn::uri::joinUri("http://h/d/f", text);
  quarn::uri::normalizePath(text);
  if (quarn::uri_split(&res, text.c_str()) != 0) {
    return 0;
  }
  size_t length = strlen(text.c_str());
  for (int field = 0; field < quarn::USR_MAX; ++field) {
    if (field == quarn::USR_PORT || !(res.field_set & (1 << field))) {
      continue;
    }
    if (static_cast<size_t>(res.fields[field].off) + res.fields[field].len > length) {
      abort();
    }
  }
  if (!(res.field_set & (1 << quarn::USR_SCHEME)) || !(res.field_set & (1 << quarn::USR_HOST)) ||
      res.fields[quarn::USR_HOST].len == 0) {
    abort();
  }
  quarn::uri::UriStruct us;
  if (quarn::uri::parse(us, text)) {
    quarn::uri::construct(us);
    quarn::uri::joinUri(text, "../x?y#z");
  }
  return 0;
}
