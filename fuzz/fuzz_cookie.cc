#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/cookie/CookieStorage.h"
#include "client/cookie/cookie_helper.h"

// Feeds one Set-Cookie value through the parser and the jar, then asks the jar
// for the cookies of the host; also reads the text as a cookie date.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  int64_t t;
  quarn::cookie::parseDate(t, text.begin(), text.end());
  const int64_t now = 1700000000;
  auto cookie = quarn::cookie::parse(text, "www.Example.com", "/dir/", now);
  if (cookie) {
    if (cookie->getName().empty() || cookie->getDomain().empty()) {
      abort();
    }
    quarn::CookieStorage storage;
    storage.store(std::move(cookie), now);
    storage.criteriaFind("www.example.com", "/dir/file", now, true);
    storage.criteriaFind("www.example.com", "/", now, false);
  }
  return 0;
}
