// Input-list text (plain or gzip) through the list reader and the making of
// downloads from its entries.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/Option.h"
#include "config/OptionParser.h"
#include "engine/RequestGroup.h"
#include "engine/UriListParser.h"
#include "engine/download_helper.h"
#include "foundation/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::shared_ptr<quarn::Option> option = [] {
    auto op = std::make_shared<quarn::Option>();
    quarn::OptionParser::getInstance()->parseDefaultValues(*op);
    return op;
  }();
  int fd = memfd_create("uri-list", MFD_CLOEXEC);
  if (fd == -1) {
    return 0;
  }
  if (write(fd, data, size) == static_cast<ssize_t>(size)) {
    quarn::UriListParser parser("/proc/self/fd/" + std::to_string(fd));
    std::vector<std::shared_ptr<quarn::RequestGroup>> groups;
    // Every entry is read: an entry that fails only ends its own call.
    for (int i = 0; i < 10000; ++i) {
      try {
        if (!quarn::createRequestGroupFromUriListParser(groups, option.get(), &parser)) {
          break;
        }
      } catch (const quarn::Exception&) {
      }
    }
  }
  close(fd);
  return 0;
}
