#include <gtest/gtest.h>

#include "StructEventRecorder.h"
#include "foundation/BencodeParser.h"
#include "foundation/DlAbortEx.h"
#include "foundation/GenericParser.h"
#include "foundation/ValueBaseStructParserStateMachine.h"
#include "foundation/bencode2.h"
#include "foundation/json.h"

namespace quarn {

namespace {

using bittorrent::BencodeParser;

struct Outcome {
  ssize_t result;
  std::string events;
};

Outcome parseWhole(const std::string& doc) {
  StructEventRecorder recorder;
  BencodeParser parser(&recorder);
  ssize_t r = parser.parseFinal(doc.data(), doc.size());
  return {r, recorder.log()};
}

Outcome parseBytewise(const std::string& doc) {
  StructEventRecorder recorder;
  BencodeParser parser(&recorder);
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

// The decoded tree as JSON (keys and strings here are printable), or the error code.
std::string tree(const std::string& doc) {
  GenericParser<BencodeParser, ValueBaseStructParserStateMachine> parser;
  ssize_t error;
  auto value = parser.parseFinal(doc.data(), doc.size(), error);
  if (error < 0) {
    return "error " + std::to_string(error);
  }
  return value ? json::encode(value.get()) : "none";
}

std::string nestedLists(int depth, const std::string& inner) {
  return std::string(depth, 'l') + inner + std::string(depth, 'e');
}

}  // namespace

TEST(BencodeTest, SameOutcomeWholeAndByteByByte) {
  const std::string docs[] = {
      "d8:announce3:url4:infod6:lengthi12e4:name5:a.txtee",
      "l4:spami-42ei+5ei  7e0:d0:i1eee",
      "i12.5e",
      "i3E4e",
      "i12xe",
      "i-e",
      "ie",
      "i99999999999999999999e",
      "99999999999999999999:x",
      "5:abc",
      "3x",
      "d1:ai1e",
      "di1ei2ee",
      "x",
      "",
      "d1:ai1eeTRAILING",
      nestedLists(49, "i1e"),
      nestedLists(50, "i1e"),
      nestedLists(50, ""),
      std::string("4:\0\xff\x80z", 6),
  };
  for (const auto& doc : docs) {
    SCOPED_TRACE(doc);
    Outcome whole = parseWhole(doc);
    Outcome bytewise = parseBytewise(doc);
    EXPECT_EQ(whole.result, bytewise.result);
    EXPECT_EQ(whole.events, bytewise.events);
  }
}

TEST(BencodeTest, Events) {
  EXPECT_EQ("<0<1'a'>1<2<3<4<6#1.0e0>6>4<4<5'xy'>5>4>3>2>0", parseWhole("d1:ali1e2:xyee").events);
}

TEST(BencodeTest, ErrorCodes) {
  struct Case {
    const char* doc;
    ssize_t expected;
  } cases[] = {
      {"x", -1},
      {"le1", 2},
      {"i-e", -2},
      {"i12xe", -2},
      {"i9223372036854775808e", -3},
      {"ie", -4},
      {"l", -4},
      {"3:ab", -4},
      {"d1:a", -4},
      {"3x", -6},
      {"di1ei2ee", -6},
      {"d:e", -6},
      {"9223372036854775808:", -7},
      {"i1.5xe", -8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doc);
    EXPECT_EQ(c.expected, parseWhole(c.doc).result);
  }
}

TEST(BencodeTest, IntegerForms) {
  EXPECT_EQ("0", tree("i-0e"));
  EXPECT_EQ("5", tree("i+5e"));
  EXPECT_EQ("5", tree("i  5e"));
  EXPECT_EQ("0", tree("i12.5e"));
  EXPECT_EQ("0", tree("i3E4e"));
  EXPECT_EQ("9223372036854775807", tree("i9223372036854775807e"));
  EXPECT_EQ("-9223372036854775807", tree("i-9223372036854775807e"));
}

TEST(BencodeTest, EmptyStringsAndKeys) {
  EXPECT_EQ("\"\"", tree("0:"));
  EXPECT_EQ("{\"\":1}", tree("d0:i1ee"));
}

TEST(BencodeTest, NestingLimit) {
  EXPECT_EQ("error -5", tree(nestedLists(50, "i1e")));
  EXPECT_NO_THROW(bencode2::decode(nestedLists(49, "i1e")));
  EXPECT_NO_THROW(bencode2::decode(nestedLists(50, "")));
  std::string dicts;
  for (int i = 0; i < 50; ++i) {
    dicts += "d1:a";
  }
  EXPECT_EQ("error -5", tree(dicts + "i1e" + std::string(50, 'e')));
}

TEST(BencodeTest, NestingErrorSticks) {
  StructEventRecorder recorder;
  BencodeParser parser(&recorder);
  std::string deep = nestedLists(50, "i1e");
  EXPECT_EQ(-5, parser.parseUpdate(deep.data(), 51));
  EXPECT_EQ(-5, parser.parseUpdate(deep.data() + 51, deep.size() - 51));
  parser.reset();
  EXPECT_EQ(3, parser.parseFinal("i1e", 3));
}

TEST(BencodeTest, DecodeRaisesCode25) {
  try {
    bencode2::decode(nestedLists(50, "i1e"));
    FAIL() << "no exception";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Bencode decoding failed: error=-5", e.what());
    EXPECT_EQ(error_code::BENCODE_PARSE_ERROR, e.getErrorCode());
  }
  EXPECT_THROW(bencode2::decode(std::string("ie")), DlAbortEx);
}

TEST(BencodeTest, DecodeReportsWhereTheValueEnded) {
  std::string doc = "d1:ai1eeXXXX";
  size_t end = 0;
  auto value =
      bencode2::decode(reinterpret_cast<const unsigned char*>(doc.data()), doc.size(), end);
  EXPECT_EQ(8u, end);
  EXPECT_EQ("{\"a\":1}", json::encode(value.get()));
  EXPECT_EQ(nullptr, bencode2::decode(std::string()));
}

TEST(BencodeTest, EncodeRoundTrip) {
  auto dict = Dict::g();
  dict->put("b", Integer::g(-3));
  dict->put("a", String::g(std::string("x\0y", 3)));
  auto list = List::g();
  list->append("spam");
  *list << Bool::gTrue() << Null::g() << Dict::g();
  dict->put("c", std::move(list));
  dict->put("d", Bool::gFalse());
  std::string encoded = bencode2::encode(dict.get());
  // The member holding a Bool is left out whole, so the output stays decodable.
  EXPECT_EQ(std::string("d1:a3:x\0y1:bi-3e1:cl4:spamdeee", 30), encoded);
  EXPECT_EQ(encoded, bencode2::encode(bencode2::decode(encoded).get()));
}

TEST(BencodeTest, ParseFileReadsWholeFileAndMissingGivesNone) {
  GenericParser<BencodeParser, ValueBaseStructParserStateMachine> parser;
  EXPECT_EQ(nullptr, parseFile(parser, "/nonexistent/quarn-test.torrent"));
  char path[] = "/tmp/quarn-bencode-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_NE(-1, fd);
  std::string doc = "d4:data" + std::to_string(10000) + ":" + std::string(10000, 'z') + "e";
  ASSERT_EQ(static_cast<ssize_t>(doc.size()), write(fd, doc.data(), doc.size()));
  close(fd);
  auto value = parseFile(parser, path);
  unlink(path);
  ASSERT_NE(nullptr, value);
  EXPECT_EQ(10000u, valueAs<String>(valueAs<Dict>(value)->get("data"))->s().size());
}

}  // namespace quarn
