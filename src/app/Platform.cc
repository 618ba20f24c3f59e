#include "app/Platform.h"

#include <ares.h>
#include <libintl.h>
#include <libssh2.h>

#include <clocale>

#include "config/OptionParser.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"
#include "foundation/console.h"
#include "foundation/fmt.h"
#include "net/SocketCore.h"

namespace quarn {

bool Platform::initialized_ = false;
OSSL_PROVIDER* Platform::legacy_provider_ = nullptr;
OSSL_PROVIDER* Platform::default_provider_ = nullptr;

Platform::Platform() {
  setUp();
}

Platform::~Platform() {
  tearDown();
}

bool Platform::setUp() {
  if (initialized_) {
    return false;
  }
  initialized_ = true;

  setlocale(LC_CTYPE, "");
  setlocale(LC_MESSAGES, "");
  bindtextdomain("quarn", QUARN_LOCALEDIR);
  textdomain("quarn");

  legacy_provider_ = OSSL_PROVIDER_load(nullptr, "legacy");
  if (!legacy_provider_) {
    throw DL_ABORT_EX("OSSL_PROVIDER_load 'legacy' failed.");
  }
  default_provider_ = OSSL_PROVIDER_load(nullptr, "default");
  if (!default_provider_) {
    throw DL_ABORT_EX("OSSL_PROVIDER_load 'default' failed.");
  }

  int aresStatus = ares_library_init(ARES_LIB_INIT_ALL);
  if (aresStatus != 0) {
    global::cerr()->printf("ares_library_init() failed:%s\n", ares_strerror(aresStatus));
  }

  int sshStatus = libssh2_init(0);
  if (sshStatus != 0) {
    throw DL_ABORT_EX(fmt("libssh2_init() failed, code: %d", sshStatus));
  }
  return true;
}

bool Platform::tearDown() {
  if (!initialized_) {
    return false;
  }
  initialized_ = false;

  SocketCore::setClientTLSContext(nullptr);
  SocketCore::setServerTLSContext(nullptr);

  if (default_provider_) {
    OSSL_PROVIDER_unload(default_provider_);
    default_provider_ = nullptr;
  }
  if (legacy_provider_) {
    OSSL_PROVIDER_unload(legacy_provider_);
    legacy_provider_ = nullptr;
  }

  ares_library_cleanup();
  libssh2_exit();
  OptionParser::deleteInstance();
  option::deletePrefResource();
  return true;
}

}  // namespace quarn
