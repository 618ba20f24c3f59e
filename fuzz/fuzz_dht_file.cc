// Feeds arbitrary bytes to the routing-table reader as a file of each address
// family. Whatever it loads must save and load again to the same nodes.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dht/DHTNode.h"
#include "dht/DHTRoutingTableDeserializer.h"
#include "dht/DHTRoutingTableSerializer.h"
#include "foundation/RecoverableException.h"

namespace {

using namespace quarn;

std::string tempPath(const char* name) {
  return "/tmp/quarn-fuzz-dht-" + std::to_string(getpid()) + "-" + name;
}

bool sameNodes(const DHTRoutingTableDeserializer& a, const DHTRoutingTableDeserializer& b) {
  if (*a.getLocalNode() != *b.getLocalNode() || a.getNodes().size() != b.getNodes().size()) {
    return false;
  }
  for (size_t i = 0; i < a.getNodes().size(); ++i) {
    const auto& x = *a.getNodes()[i];
    const auto& y = *b.getNodes()[i];
    if (x != y || x.getIPAddress() != y.getIPAddress() || x.getPort() != y.getPort()) {
      return false;
    }
  }
  return true;
}

void check(int family, const std::string& input, const std::string& output) {
  DHTRoutingTableDeserializer loaded(family);
  try {
    loaded.deserialize(input);
  } catch (const RecoverableException&) {
    if (loaded.getLocalNode() || !loaded.getNodes().empty()) {
      abort();  // a failed load keeps nothing
    }
    return;
  }
  DHTRoutingTableSerializer saver(family);
  saver.setLocalNode(loaded.getLocalNode());
  saver.setNodes(loaded.getNodes());
  saver.serialize(output);
  DHTRoutingTableDeserializer again(family);
  again.deserialize(output);
  if (!sameNodes(loaded, again)) {
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = tempPath("in");
  const std::string output = tempPath("out");
  FILE* fp = fopen(input.c_str(), "wb");
  if (!fp || (size > 0 && fwrite(data, 1, size, fp) != size) || fclose(fp) != 0) {
    abort();
  }
  check(AF_INET, input, output);
  check(AF_INET6, input, output);
  unlink(input.c_str());
  unlink(output.c_str());
  return 0;
}
