#include "rpc/XmlRpcDiskWriter.h"

#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/List.h"

namespace quarn {
namespace rpc {

XmlRpcDiskWriter::XmlRpcDiskWriter() : parser_(&psm_) {}

void XmlRpcDiskWriter::initAndOpenFile(int64_t /*totalLength*/) {
  reset();
}

void XmlRpcDiskWriter::openFile(int64_t /*totalLength*/) {
  reset();
}

void XmlRpcDiskWriter::openExistingFile(int64_t /*totalLength*/) {
  reset();
}

void XmlRpcDiskWriter::writeData(const uint8_t* data, size_t len, int64_t /*offset*/) {
  parser_.parseUpdate(reinterpret_cast<const char*>(data), len);
}

ssize_t XmlRpcDiskWriter::readData(uint8_t* /*data*/, size_t /*len*/, int64_t /*offset*/) {
  return 0;
}

int XmlRpcDiskWriter::finalize() {
  return parser_.parseFinal(nullptr, 0) < 0 ? -1 : 0;
}

RpcRequest XmlRpcDiskWriter::getResult() {
  std::unique_ptr<ValueBase> value = psm_.popCurrentFrameValue();
  std::unique_ptr<List> params;
  if (valueAs<List>(value)) {
    params.reset(static_cast<List*>(value.release()));
  } else {
    params = List::g();
  }
  return RpcRequest(psm_.getMethodName(), std::move(params));
}

void XmlRpcDiskWriter::reset() {
  parser_.reset();
}

}  // namespace rpc
}  // namespace quarn
