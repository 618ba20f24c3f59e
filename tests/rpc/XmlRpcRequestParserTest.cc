#include <string>

#include <gtest/gtest.h>

#include "foundation/json.h"
#include "rpc/XmlRpcDiskWriter.h"

namespace quarn::rpc {
namespace {

struct ParseResult {
  int rv;
  std::string method;
  std::string params;  // the parameter list as JSON
};

ParseResult parse(const std::string& body, size_t step = 0) {
  XmlRpcDiskWriter writer;
  writer.initAndOpenFile();
  if (step == 0) {
    step = body.size() ? body.size() : 1;
  }
  for (size_t i = 0; i < body.size(); i += step) {
    std::string chunk = body.substr(i, step);
    writer.writeData(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size(), 0);
  }
  ParseResult result;
  result.rv = writer.finalize();
  RpcRequest req = writer.getResult();
  result.method = req.methodName;
  result.params = json::encode(req.params.get());
  return result;
}

std::string call(const std::string& method, const std::string& params) {
  return "<?xml version=\"1.0\"?><methodCall><methodName>" + method + "</methodName>" + params +
         "</methodCall>";
}

std::string param(const std::string& value) {
  return "<param><value>" + value + "</value></param>";
}

struct Case {
  const char* name;
  std::string params;
  std::string expected;
};

TEST(XmlRpcRequestParserTest, Values) {
  const Case cases[] = {
      {"no params element", "", "[]"},
      {"untyped text", "<params>" + param("abc") + "</params>", "[\"abc\"]"},
      {"empty value disappears",
       "<params><param><value></value></param>" + param("<string>x</string>") + "</params>",
       "[\"x\"]"},
      {"int and i4", "<params>" + param("<int>42</int>") + param("<i4>-7</i4>") + "</params>",
       "[42,-7]"},
      {"int beyond 32 bits gives no value",
       "<params>" + param("<int>4294967296</int>") + "</params>", "[]"},
      {"double is text", "<params>" + param("<double>1.5</double>") + "</params>", "[\"1.5\"]"},
      {"boolean is skipped",
       "<params>" + param("<string>a</string>") + param("<boolean>1</boolean>") +
           param("<string>b</string>") + "</params>",
       "[\"a\",\"b\"]"},
      {"empty string", "<params>" + param("<string></string>") + "</params>", "[\"\"]"},
      {"base64 bytes", "<params>" + param("<base64>aGVsbG8=</base64>") + "</params>",
       "[\"hello\"]"},
      {"struct drops empty member name",
       "<params>" +
           param("<struct><member><name>a</name><value><string>1</string></value></member>"
                 "<member><name></name><value><string>2</string></value></member></struct>") +
           "</params>",
       "[{\"a\":\"1\"}]"},
      {"nesting",
       "<params>" +
           param("<array><data><value><struct><member><name>k</name><value><array><data>"
                 "<value><int>1</int></value><value>t</value></data></array></value></member>"
                 "</struct></value></data></array>") +
           "</params>",
       "[[{\"k\":[1,\"t\"]}]]"},
      {"unknown elements are skipped with their subtree",
       "<foo><params>" + param("x") + "</params></foo><params>" + param("<bar><int>1</int></bar>") +
           param("<string>y</string>") + "</params>",
       "[\"y\"]"},
  };
  for (const auto& c : cases) {
    ParseResult r = parse(call("quarn.tellActive", c.params));
    EXPECT_EQ(0, r.rv) << c.name;
    EXPECT_EQ("quarn.tellActive", r.method) << c.name;
    EXPECT_EQ(c.expected, r.params) << c.name;
    // Fed one byte at a time, the reader must build the same tree.
    EXPECT_EQ(c.expected, parse(call("quarn.tellActive", c.params), 1).params) << c.name;
  }
}

TEST(XmlRpcRequestParserTest, NamespacesAndDocumentShape) {
  ParseResult ns = parse(
      "<x:methodCall xmlns:x=\"urn:a\"><x:methodName>system.listMethods</x:methodName>"
      "</x:methodCall>");
  EXPECT_EQ(0, ns.rv);
  EXPECT_EQ("system.listMethods", ns.method);
  ParseResult other = parse("<methodResponse><params/></methodResponse>");
  EXPECT_EQ(0, other.rv);
  EXPECT_EQ("", other.method);
  EXPECT_EQ("[]", other.params);
  EXPECT_LT(parse(call("a", "<params><param>")).rv, 0);
  EXPECT_LT(parse("not xml").rv, 0);
}

// A writer is reused for the next request on a kept connection.
TEST(XmlRpcRequestParserTest, ResetForgetsThePreviousRequest) {
  XmlRpcDiskWriter writer;
  std::string first = call("a", "<params>" + param("1") + "</params>");
  writer.writeData(reinterpret_cast<const uint8_t*>(first.data()), first.size(), 0);
  ASSERT_EQ(0, writer.finalize());
  writer.reset();
  std::string second = call("b", "");
  writer.writeData(reinterpret_cast<const uint8_t*>(second.data()), second.size(), 0);
  ASSERT_EQ(0, writer.finalize());
  RpcRequest req = writer.getResult();
  EXPECT_EQ("b", req.methodName);
  EXPECT_TRUE(req.params->empty());
}

}  // namespace
}  // namespace quarn::rpc
