#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/Bool.h"
#include "foundation/Dict.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/Null.h"
#include "foundation/String.h"
#include "rpc/RpcResponse.h"
#include "rpc/json_rpc.h"

namespace quarn::rpc {
namespace {

std::string gunzip(const std::string& in) {
  z_stream strm{};
  EXPECT_EQ(Z_OK, inflateInit2(&strm, 47));
  strm.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  strm.avail_in = static_cast<uInt>(in.size());
  std::string out;
  char buf[4096];
  int rv;
  do {
    strm.next_out = reinterpret_cast<Bytef*>(buf);
    strm.avail_out = sizeof(buf);
    rv = inflate(&strm, Z_NO_FLUSH);
    out.append(buf, sizeof(buf) - strm.avail_out);
  } while (rv == Z_OK);
  EXPECT_EQ(Z_STREAM_END, rv);
  inflateEnd(&strm);
  return out;
}

RpcResponse ok(std::unique_ptr<ValueBase> id) {
  return RpcResponse(0, RpcResponse::AUTHORIZED, String::g("OK"), std::move(id));
}

RpcResponse unauthorized(bool json) {
  auto err = Dict::g();
  err->put(json ? "code" : "faultCode", Integer::g(1));
  err->put(json ? "message" : "faultString", "Unauthorized");
  return RpcResponse(1, RpcResponse::NOTAUTHORIZED, std::move(err), Integer::g(1));
}

TEST(RpcEncodingTest, JsonGoldenTexts) {
  EXPECT_EQ("{\"id\":7,\"jsonrpc\":\"2.0\",\"result\":\"OK\"}",
            toJson(ok(Integer::g(7)), "", false));
  EXPECT_EQ("{\"id\":\"a\",\"jsonrpc\":\"2.0\",\"result\":\"OK\"}",
            toJson(ok(String::g("a")), "", false));
  EXPECT_EQ("{\"id\":1,\"jsonrpc\":\"2.0\",\"error\":{\"code\":1,\"message\":\"Unauthorized\"}}",
            toJson(unauthorized(true), "", false));
  EXPECT_EQ("cb({\"id\":null,\"jsonrpc\":\"2.0\",\"result\":\"OK\"})",
            toJson(ok(std::make_unique<Null>()), "cb", false));
  auto objectId = Dict::g();
  objectId->put("k", List::g());
  EXPECT_EQ("{\"id\":{\"k\":[]},\"jsonrpc\":\"2.0\",\"result\":\"OK\"}",
            toJson(ok(std::move(objectId)), "", false));
}

TEST(RpcEncodingTest, JsonBatchAndJsonpCompressed) {
  std::vector<RpcResponse> rs;
  EXPECT_EQ("[]", toJsonBatch(rs, "", false));
  rs.push_back(ok(Integer::g(1)));
  rs.push_back(ok(Integer::g(2)));
  std::string plain =
      "cb([{\"id\":1,\"jsonrpc\":\"2.0\",\"result\":\"OK\"},"
      "{\"id\":2,\"jsonrpc\":\"2.0\",\"result\":\"OK\"}])";
  EXPECT_EQ(plain, toJsonBatch(rs, "cb", false));
  std::string packed = toJsonBatch(rs, "cb", true);
  ASSERT_GE(packed.size(), 2u);
  EXPECT_EQ('\x1f', packed[0]);
  EXPECT_EQ('\x8b', packed[1]);
  EXPECT_EQ(plain, gunzip(packed));
}

TEST(RpcEncodingTest, XmlGoldenTexts) {
  EXPECT_EQ(
      "<?xml version=\"1.0\"?><methodResponse><params><param><value><string>OK</string></value>"
      "</param></params></methodResponse>",
      toXml(ok(nullptr), false));
  EXPECT_EQ(
      "<?xml version=\"1.0\"?><methodResponse><fault><value><struct><member><name>faultCode</name>"
      "<value><int>1</int></value></member><member><name>faultString</name><value><string>"
      "Unauthorized</string></value></member></struct></value></fault></methodResponse>",
      toXml(unauthorized(false), false));
}

// Bool and Null have no XML-RPC form here: a member keeps its name, an array
// element disappears; text is escaped.
TEST(RpcEncodingTest, XmlLeavesOutBoolAndNullAndEscapes) {
  auto d = Dict::g();
  d->put("flag", Bool::gTrue());
  d->put("<k>", "a&b'\"");
  auto l = List::g();
  l->append(std::make_unique<Null>());
  l->append(Integer::g(-5));
  d->put("list", std::move(l));
  RpcResponse r(0, RpcResponse::AUTHORIZED, std::move(d), nullptr);
  EXPECT_EQ(
      "<?xml version=\"1.0\"?><methodResponse><params><param><value><struct>"
      "<member><name>&lt;k&gt;</name><value><string>a&amp;b&#39;&quot;</string></value></member>"
      "<member><name>flag</name></member>"
      "<member><name>list</name><value><array><data><value><int>-5</int></value></data></array>"
      "</value></member></struct></value></param></params></methodResponse>",
      toXml(r, false));
  EXPECT_EQ(toXml(r, false), gunzip(toXml(r, true)));
}

TEST(RpcEncodingTest, EnvelopeErrorsAreNeverUnauthorized) {
  RpcResponse r = createJsonRpcErrorResponse(-32700, "Parse error.", std::make_unique<Null>());
  EXPECT_TRUE(r.authorized());
  EXPECT_EQ(
      "{\"id\":null,\"jsonrpc\":\"2.0\",\"error\":{\"code\":-32700,\"message\":\"Parse error.\"}}",
      toJson(r, "", false));
}

}  // namespace
}  // namespace quarn::rpc
