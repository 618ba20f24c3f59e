#pragma once

#include "foundation/XmlParser.h"
#include "rpc/RpcRequest.h"
#include "rpc/XmlRpcRequestParserStateMachine.h"
#include "storage/DiskWriter.h"

namespace quarn {
namespace rpc {

// The sink of an XML-RPC request body: parses the bytes as they arrive.
class XmlRpcDiskWriter : public DiskWriter {
 public:
  XmlRpcDiskWriter();

  void initAndOpenFile(int64_t totalLength = 0) override;
  void openFile(int64_t totalLength = 0) override;
  void closeFile() override {}
  void openExistingFile(int64_t totalLength = 0) override;
  void writeData(const uint8_t* data, size_t len, int64_t offset) override;
  ssize_t readData(uint8_t* data, size_t len, int64_t offset) override;
  int64_t size() override { return 0; }

  // 0 when the document was well formed, negative otherwise.
  int finalize();
  // The method name and the parameter list (empty when there was none).
  RpcRequest getResult();
  // Ready for the next request.
  void reset();

 private:
  XmlRpcRequestParserStateMachine psm_;
  xml::XmlParser parser_;
};

}  // namespace rpc
}  // namespace quarn
