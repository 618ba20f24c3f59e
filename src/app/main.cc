#include <memory>

#include "app/Platform.h"
#include "app/quarn_main.h"
#include "foundation/Exception.h"
#include "foundation/console.h"
#include "foundation/i18n.h"
#include "platform/allocator_tuning.h"

int main(int argc, char** argv) {
  quarn::platform::tuneAllocatorForStreaming();
  quarn::global::initConsole(false);
  try {
    quarn::Platform platform;
    return quarn::main(argc, argv);
  } catch (const quarn::Exception& e) {
    quarn::global::cerr()->printf("%s\n%s\n", _("Exception caught"), e.stackTrace().c_str());
    return e.getErrorCode();
  }
}
