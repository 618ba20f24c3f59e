#include "foundation/JsonParser.h"

#include <gtest/gtest.h>

#include "StructEventRecorder.h"
#include "foundation/GenericParser.h"
#include "foundation/ValueBaseStructParserStateMachine.h"
#include "foundation/json.h"

namespace quarn {

namespace {

using json::JsonParser;

struct Outcome {
  ssize_t result;
  std::string events;
};

Outcome parseWhole(const std::string& doc) {
  StructEventRecorder recorder;
  JsonParser parser(&recorder);
  ssize_t r = parser.parseFinal(doc.data(), doc.size());
  return {r, recorder.log()};
}

// Feeds one byte per call; the result is the total consumed, or the first error.
Outcome parseBytewise(const std::string& doc) {
  StructEventRecorder recorder;
  JsonParser parser(&recorder);
  ssize_t total = 0;
  for (char c : doc) {
    ssize_t r = parser.parseUpdate(&c, 1);
    if (r < 0) {
      return {r, recorder.log()};
    }
    total += r;
  }
  ssize_t r = parser.parseFinal(nullptr, 0);
  return {r < 0 ? r : total, recorder.log()};
}

// The tree as compact JSON, or the error code as text.
std::string tree(const std::string& doc) {
  GenericParser<JsonParser, ValueBaseStructParserStateMachine> parser;
  ssize_t error;
  auto value = parser.parseFinal(doc.data(), doc.size(), error);
  if (error < 0) {
    return "error " + std::to_string(error);
  }
  return value ? json::encode(value.get()) : "none";
}

std::string nested(int depth, const std::string& inner) {
  return std::string(depth, '[') + inner + std::string(depth, ']');
}

}  // namespace

TEST(JsonParserTest, SameOutcomeWholeAndByteByByte) {
  const std::string docs[] = {
      "{\"a\":[1,\"x\"]}",
      " { \"name\" : \"v\\u00e9\\n\" , \"n\" : -12.5e+3 , \"t\":true,\"f\":false,\"z\":null } ",
      "[1.25, 2E-2, 0, -0, 9223372036854775807]",
      "\"\\ud83d\\ude00 and \\\\ \\/ \\q\"",
      "123 ",
      "123",
      "[]tail",
      "{\"a\":{\"b\":{\"c\":[[],{}]}},}",
      "[1,]",
      "{\"a\" 1}",
      "{\"a\":1 \"b\"}",
      "[1 2]",
      "{a}",
      "tru",
      "trux",
      "nul",
      "\"\\ud800\"",
      "\"\\ud800\\u0041\"",
      "\"\\uZZZZ\"",
      "-",
      "1.e5",
      "1e",
      "1e19",
      "9223372036854775808",
      "",
      "   ",
      "\"unterminated",
      nested(49, "1"),
      nested(50, "1"),
      nested(50, ""),
      "{\"\":1,\"b\":2}",
  };
  for (const auto& doc : docs) {
    SCOPED_TRACE(doc);
    Outcome whole = parseWhole(doc);
    Outcome bytewise = parseBytewise(doc);
    EXPECT_EQ(whole.result, bytewise.result);
    EXPECT_EQ(whole.events, bytewise.events);
  }
}

TEST(JsonParserTest, EventsOfAnObjectWithAnArray) {
  EXPECT_EQ("<0<1'a'>1<2<3<4<6#1.0e0>6>4<4<5'x'>5>4>3>2>0", parseWhole("{\"a\":[1,\"x\"]}").events);
  EXPECT_EQ("<6#-12.5e3>6", parseWhole("-12.5e+3 ").events);
  EXPECT_EQ("<6#1.25e-2>6", parseWhole("1.25E-2 ").events);
  EXPECT_EQ("<7T>7", parseWhole("true").events);
  EXPECT_EQ("<8>8", parseWhole("null").events);
}

TEST(JsonParserTest, ErrorCodes) {
  struct Case {
    const char* doc;
    ssize_t expected;
  } cases[] = {
      {"x", -1},
      {"{1}", -2},
      {"{\"a\" 1}", -3},
      {"{\"a\":1 2}", -4},
      {"\"\\ux\"", -5},
      {"\"\\ud800\"", -5},
      {"\"\\ud800\\ud800\"", -5},
      {"-x", -6},
      {"1.x", -6},
      {"1ex", -6},
      {"1e-x", -6},
      {"9223372036854775808", -7},
      {"-9223372036854775808", -7},
      {"1e19", -7},
      {"[1 2]", -8},
      {"tRue", -9},
      {"nulL", -9},
      {"", -10},
      {"  ", -10},
      {"12", -10},
      {"[1", -10},
      {"[1,]", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doc);
    EXPECT_EQ(c.expected, parseWhole(c.doc).result);
  }
}

TEST(JsonParserTest, NumbersNeedATerminatorOtherValuesDoNot) {
  EXPECT_EQ(-10, parseWhole("7").result);
  EXPECT_EQ(1, parseWhole("7 ").result);
  EXPECT_EQ(4, parseWhole("true").result);
  EXPECT_EQ(3, parseWhole("\"a\"").result);
  EXPECT_EQ(2, parseWhole("[]trailing garbage").result);
  EXPECT_EQ("9223372036854775807", tree("9223372036854775807 "));
  EXPECT_EQ("1", tree("1e18 "));
}

TEST(JsonParserTest, TrailingCommaAllowedInObjectOnly) {
  EXPECT_EQ("{\"a\":1}", tree("{\"a\":1,}"));
  EXPECT_EQ("error -1", tree("[1,]"));
}

TEST(JsonParserTest, NestingLimit) {
  EXPECT_EQ(nested(49, "1"), tree(nested(49, "1")));
  EXPECT_EQ("error -11", tree(nested(50, "1")));
  EXPECT_EQ(nested(50, ""), tree(nested(50, "")));
  auto objects = [](int depth) {
    std::string doc;
    for (int i = 0; i < depth; ++i) {
      doc += "{\"a\":";
    }
    return doc + "1" + std::string(depth, '}');
  };
  EXPECT_EQ(objects(49), tree(objects(49)));
  EXPECT_EQ("error -11", tree(objects(50)));
}

// A caller that keeps feeding after a nesting error must not get a tree with the
// over-deep part missing.
TEST(JsonParserTest, NestingErrorSticks) {
  StructEventRecorder recorder;
  JsonParser parser(&recorder);
  std::string deep = nested(50, "1");
  EXPECT_EQ(-11, parser.parseUpdate(deep.data(), 51));
  EXPECT_EQ(-11, parser.parseUpdate(deep.data() + 51, deep.size() - 51));
  EXPECT_EQ(-11, parser.parseFinal(nullptr, 0));
  parser.reset();
  EXPECT_EQ(2, parser.parseFinal("[]", 2));
}

TEST(JsonParserTest, StringEscapes) {
  EXPECT_EQ("\"\xF0\x9F\x98\x80\"", tree("\"\\uD83D\\uDE00\""));
  EXPECT_EQ("\"\xED\xB0\x80\"", tree("\"\\udc00\""));
  EXPECT_EQ("\"q\"", tree("\"\\q\""));
  EXPECT_EQ("\"\\b\\f\\n\\r\\t\\\"\\\\\\/\"", tree("\"\\b\\f\\n\\r\\t\\\"\\\\\\/\""));
  EXPECT_EQ("\"\\u0000\xC3\xA9\"", tree("\"\\u0000\\u00E9\""));
}

TEST(JsonParserTest, ErrorSticksUntilReset) {
  StructEventRecorder recorder;
  JsonParser parser(&recorder);
  EXPECT_EQ(-1, parser.parseUpdate("x", 1));
  EXPECT_EQ(-1, parser.parseUpdate("1", 1));
  EXPECT_EQ(-1, parser.parseFinal("1 ", 2));
  parser.reset();
  EXPECT_EQ(1, parser.parseFinal("1 ", 2));
}

TEST(JsonParserTest, BuilderKeepsIntegerPartAndDropsEmptyNames) {
  EXPECT_EQ("[2,-1,0]", tree("[2.9,-1e5,-0.5]"));
  EXPECT_EQ("{\"b\":2}", tree("{\"\":1,\"b\":2}"));
  EXPECT_EQ("{\"a\":2}", tree("{\"a\":1,\"a\":2}"));
  EXPECT_EQ("\"top\"", tree("\"top\""));
}

TEST(JsonParserTest, ParserIsReusableAfterAFailedDocument) {
  GenericParser<JsonParser, ValueBaseStructParserStateMachine> parser;
  ssize_t error;
  std::string bad = "{\"a\":[1,";
  EXPECT_EQ(nullptr, parser.parseFinal(bad.data(), bad.size(), error));
  EXPECT_EQ(-10, error);
  std::string good = "{\"b\":[true,null]}";
  auto value = parser.parseFinal(good.data(), good.size(), error);
  ASSERT_NE(nullptr, value);
  EXPECT_EQ(good, json::encode(value.get()));
}

}  // namespace quarn
