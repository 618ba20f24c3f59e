// Feeds arbitrary bytes to the XML-RPC request parser whole and split in two at every
// position derived from the input: both must agree on the verdict, the method name and
// the parameters.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/json.h"
#include "rpc/XmlRpcDiskWriter.h"

namespace {

struct Outcome {
  int rv;
  std::string method;
  std::string params;
  bool operator!=(const Outcome& o) const {
    return rv != o.rv || (rv == 0 && (method != o.method || params != o.params));
  }
};

Outcome parse(quarn::rpc::XmlRpcDiskWriter& writer, const uint8_t* data, size_t size,
              size_t split) {
  writer.reset();
  writer.writeData(data, split, 0);
  writer.writeData(data + split, size - split, 0);
  Outcome out;
  out.rv = writer.finalize();
  quarn::rpc::RpcRequest req = writer.getResult();
  out.method = req.methodName;
  out.params = quarn::json::encode(req.params.get());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quarn::rpc::XmlRpcDiskWriter writer;
  Outcome whole = parse(writer, data, size, 0);
  Outcome split = parse(writer, data, size, size ? data[0] % size : 0);
  if (whole != split) {
    abort();
  }
  return 0;
}
