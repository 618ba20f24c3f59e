#include "foundation/XmlParser.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>
#include <vector>

#include "foundation/ParserStateMachine.h"

namespace quarn {

namespace {

// Records the events; the elements named in wantsText have their text collected.
class RecordingStateMachine : public ParserStateMachine {
 public:
  explicit RecordingStateMachine(std::set<std::string> wantsText = {"text"})
      : wantsText_(std::move(wantsText)) {}

  bool needsCharactersBuffering() const override {
    return !open_.empty() && wantsText_.count(open_.back()) != 0;
  }
  bool finished() const override { return ended_; }
  void beginElement(const char* localname, const char* prefix, const char* nsUri,
                    const std::vector<XmlAttr>& attrs) override {
    log_ += "<";
    if (prefix) {
      log_ += std::string(prefix) + ":";
    }
    log_ += localname;
    if (nsUri) {
      log_ += std::string("{") + nsUri + "}";
    }
    for (const auto& attr : attrs) {
      log_ += " " + std::string(attr.localname) + "=" + std::string(attr.value, attr.valueLength);
    }
    log_ += ">";
    open_.push_back(localname);
  }
  void endElement(const char* localname, const char*, const char*,
                  std::string characters) override {
    log_ += "</" + std::string(localname) + "'" + characters + "'>";
    open_.pop_back();
    ended_ = open_.empty();
  }
  void reset() override {
    log_ += "R";
    open_.clear();
    ended_ = false;
  }
  const std::string& log() const { return log_; }

 private:
  std::set<std::string> wantsText_;
  std::vector<std::string> open_;
  std::string log_;
  bool ended_ = false;
};

struct Outcome {
  ssize_t result;
  std::string events;
};

Outcome parseWhole(const std::string& doc) {
  RecordingStateMachine psm;
  xml::XmlParser parser(&psm);
  ssize_t r = parser.parseFinal(doc.data(), doc.size());
  return {r, psm.log()};
}

Outcome parseBytewise(const std::string& doc) {
  RecordingStateMachine psm;
  xml::XmlParser parser(&psm);
  for (char c : doc) {
    ssize_t r = parser.parseUpdate(&c, 1);
    if (r < 0) {
      return {r, psm.log()};
    }
  }
  ssize_t r = parser.parseFinal(nullptr, 0);
  return {r < 0 ? r : static_cast<ssize_t>(doc.size()), psm.log()};
}

class TempFile {
 public:
  explicit TempFile(const std::string& content) {
    int fd = mkstemp(path_);
    EXPECT_NE(-1, fd);
    EXPECT_EQ(static_cast<ssize_t>(content.size()), write(fd, content.data(), content.size()));
    close(fd);
  }
  ~TempFile() { unlink(path_); }
  const char* path() const { return path_; }

 private:
  char path_[32] = "/tmp/quarn-xml-XXXXXX";
};

}  // namespace

TEST(XmlParserTest, SameOutcomeWholeAndByteByByte) {
  const std::string docs[] = {
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<metalink xmlns=\"urn:ietf:params:xml:ns:metalink\">\n"
      "  <file name=\"a.iso\"><size>1024</size>"
      "<text>one <!-- c --> two <b>bold</b> three &amp; &#x41; <![CDATA[<raw>]]></text>"
      "</file>\n</metalink>",
      "<a xmlns:p=\"urn:x\"><p:b p:attr=\"v&lt;\" plain='q'/></a>",
      "<text>unclosed",
      "<a><b></a>",
      "<a>&undefined;</a>",
      "not xml",
      "",
      "<text>\xC3\xA9</text>",
      // Conversions from a declared encoding once depended on where the input was cut.
      "<?xml version=\"1.0\" encoding=\"UTF-.8\"?>\n<text>caf\xC3\xA9 ok</text>",
      "<?xml version=\"1.0\" encoding=\"UTF-.8\"?>\n<text>caf\xE9 ok</text>",
      "<?xml version=\"1.0\" encoding=\"SHIFT_JIS\"?>\n<text>\x82\xA0 ok</text>",
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<text>caf\xE9 " + std::string(5000, 'x') +
          "</text>",
  };
  for (const auto& doc : docs) {
    SCOPED_TRACE(doc);
    Outcome whole = parseWhole(doc);
    Outcome bytewise = parseBytewise(doc);
    EXPECT_EQ(whole.result, bytewise.result);
    EXPECT_EQ(whole.events, bytewise.events);
  }
}

TEST(XmlParserTest, TextCollectedOnlyWhereWanted) {
  Outcome outcome = parseWhole(
      "<root><text>one <!-- c -->two <skip>inner</skip>three</text><skip>ignored</skip></root>");
  EXPECT_EQ(87, outcome.result);
  EXPECT_EQ("<root><text><skip></skip''></text'one two three'><skip></skip''></root''>",
            outcome.events);
}

TEST(XmlParserTest, NamespacesAndAttributes) {
  Outcome outcome =
      parseWhole("<a xmlns:p=\"urn:x\"><p:b p:k=\"v&amp;&#x41;\" plain='q'/>&lt;</a>");
  EXPECT_EQ(62, outcome.result);
  EXPECT_EQ("<a><p:b{urn:x} k=v&A plain=q></b''></a''>", outcome.events);
}

TEST(XmlParserTest, ErrorSticksEvenAfterReset) {
  RecordingStateMachine psm;
  xml::XmlParser parser(&psm);
  // A whole block, so that the reader cannot hold it back.
  std::string bad = "<a></b>" + std::string(xml::XmlParser::BLOCK_SIZE, ' ');
  EXPECT_EQ(-1, parser.parseUpdate(bad.data(), bad.size()));
  EXPECT_EQ(-1, parser.parseUpdate("<a/>", 4));
  EXPECT_EQ(-1, parser.parseFinal("<a/>", 4));
  EXPECT_EQ(0, parser.reset());
  EXPECT_EQ(-1, parser.parseFinal("<a/>", 4));
}

TEST(XmlParserTest, ResetAllowsANewDocument) {
  RecordingStateMachine psm;
  xml::XmlParser parser(&psm);
  EXPECT_EQ(3, parser.parseUpdate("<a>", 3));
  EXPECT_EQ(0, parser.reset());
  EXPECT_EQ(4, parser.parseFinal("<b/>", 4));
  std::string log = psm.log();
  EXPECT_EQ("R<b></b''>", log.substr(log.find('R')));
}

TEST(XmlParserTest, TruncatedDocumentFailsOnlyAtTheEnd) {
  RecordingStateMachine psm;
  xml::XmlParser parser(&psm);
  EXPECT_EQ(6, parser.parseUpdate("<a><b>", 6));
  EXPECT_EQ(-1, parser.parseFinal(nullptr, 0));
}

// Entities are never expanded from a DTD and nothing outside the document is read.
TEST(XmlParserTest, NoExternalEntitiesOrDtd) {
  TempFile secret("SECRET");
  std::string xxe =
      std::string("<?xml version=\"1.0\"?><!DOCTYPE text [<!ENTITY x SYSTEM \"file://") +
      secret.path() + "\">]><text>&x;</text>";
  Outcome outcome = parseWhole(xxe);
  EXPECT_EQ(std::string::npos, outcome.events.find("SECRET"));
  std::string laughs =
      "<?xml version=\"1.0\"?><!DOCTYPE text [<!ENTITY a \"aaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
      "]><text>&c;</text>";
  outcome = parseWhole(laughs);
  EXPECT_EQ(std::string::npos, outcome.events.find("aaaa"));
  std::string externalDtd = std::string("<?xml version=\"1.0\"?><!DOCTYPE text SYSTEM \"") +
                            secret.path() + "\"><text>t</text>";
  outcome = parseWhole(externalDtd);
  EXPECT_EQ(std::string::npos, outcome.events.find("SECRET"));
}

// References to a server on loopback, as DTD, as entity and as parameter entity, never
// make a connection.
TEST(XmlParserTest, NeverTouchesTheNetwork) {
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  ASSERT_NE(-1, listener);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
  socklen_t len = sizeof(addr);
  ASSERT_EQ(0, getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len));
  ASSERT_EQ(0, listen(listener, 8));
  std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x";
  const std::string docs[] = {
      "<?xml version=\"1.0\"?><!DOCTYPE text SYSTEM \"" + url + "\"><text>t</text>",
      "<?xml version=\"1.0\"?><!DOCTYPE text [<!ENTITY e SYSTEM \"" + url + "\">]><text>&e;</text>",
      "<?xml version=\"1.0\"?><!DOCTYPE text [<!ENTITY % p SYSTEM \"" + url +
          "\"> %p;]><text>t</text>",
  };
  for (const auto& doc : docs) {
    parseWhole(doc);
    parseBytewise(doc);
  }
  EXPECT_EQ(-1, accept(listener, nullptr, nullptr));
  EXPECT_EQ(EAGAIN, errno);
  close(listener);
}

TEST(XmlParserTest, ParseFile) {
  RecordingStateMachine psm;
  EXPECT_FALSE(xml::parseFile("/nonexistent/quarn.xml", &psm));
  EXPECT_EQ("", psm.log());

  std::string big = "<root>";
  for (int i = 0; i < 1000; ++i) {
    big += "<text>line " + std::to_string(i) + "</text>";
  }
  big += "</root>";
  TempFile good(big);
  RecordingStateMachine goodPsm;
  EXPECT_TRUE(xml::parseFile(good.path(), &goodPsm));
  EXPECT_TRUE(goodPsm.finished());
  EXPECT_NE(std::string::npos, goodPsm.log().find("</text'line 999'>"));

  TempFile truncated("<root><text>x</text>");
  RecordingStateMachine truncatedPsm;
  EXPECT_FALSE(xml::parseFile(truncated.path(), &truncatedPsm));

  TempFile malformed("<root></wrong>");
  RecordingStateMachine malformedPsm;
  EXPECT_FALSE(xml::parseFile(malformed.path(), &malformedPsm));
}

}  // namespace quarn
