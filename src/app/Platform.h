#pragma once

#include <openssl/provider.h>

namespace quarn {

// Sets up the process-wide libraries on construction and tears them down on
// destruction; each happens at most once while set up.
class Platform {
 public:
  Platform();
  ~Platform();
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;

  // True when the work was done now, false when there was nothing to do.
  static bool setUp();
  static bool tearDown();
  static bool isInitialized() { return initialized_; }

 private:
  static bool initialized_;
  static OSSL_PROVIDER* legacy_provider_;
  static OSSL_PROVIDER* default_provider_;
};

}  // namespace quarn
