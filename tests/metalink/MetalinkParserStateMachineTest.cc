#include "metalink/MetalinkParserStateMachine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "MetalinkDump.h"
#include "TempDir.h"
#include "foundation/DlAbortEx.h"
#include "foundation/XmlParser.h"
#include "metalink/Metalinker.h"
#include "metalink/metalink_helper.h"
#include "storage/ByteArrayDiskWriter.h"

namespace quarn {

namespace {

const std::string H_MD5(32, 'a');
const std::string H_SHA1(40, 'b');
const std::string H_SHA256(64, 'c');

std::string v4(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<metalink xmlns=\"urn:ietf:params:xml:ns:metalink\">" +
         body + "</metalink>";
}

std::string v3(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<metalink version=\"3.0\" xmlns=\"http://www.metalinker.org/\"><files>" +
         body + "</files></metalink>";
}

struct Outcome {
  bool xmlOk;
  std::string errors;
  std::string entries;
};

Outcome parse(const std::string& doc, const std::string& baseUri, bool bytewise) {
  MetalinkParserStateMachine psm;
  psm.setBaseUri(baseUri);
  xml::XmlParser parser(&psm);
  bool ok = true;
  if (bytewise) {
    for (size_t i = 0; i < doc.size() && ok; ++i) {
      ok = parser.parseUpdate(doc.data() + i, 1) >= 0;
    }
    ok = ok && parser.parseFinal(nullptr, 0) >= 0;
  } else {
    ok = parser.parseFinal(doc.data(), doc.size()) >= 0;
  }
  std::string errors = psm.getErrors().empty() ? "" : psm.getErrorString();
  return {ok, errors, test::dump(*psm.getResult())};
}

struct Case {
  const char* name;
  std::string doc;
  std::string baseUri;
  bool xmlOk;
  std::string errors;
  std::string entries;
};

const Case CASES[] = {
    {"v4 every element",
     v4("<file name=\"a.iso\"><size>1024</size><version>1.0</version>"
        "<language>en</language><language>de</language><os>linux</os>"
        "<hash type=\"md5\">" +
        H_MD5 + "</hash><hash type=\"sha-256\">" + H_SHA256 +
        "</hash>"
        "<pieces length=\"262144\" type=\"sha-1\"><hash>" +
        H_SHA1 + "</hash><hash>" + std::string(40, 'd') +
        "</hash></pieces>"
        "<signature mediatype=\"application/pgp-signature\">SIG</signature>"
        "<url location=\"jp\" priority=\"1\">http://a/a.iso</url>"
        "<url priority=\"2\">ftp://b/a.iso</url>"
        "<url>sftp://c/a.iso</url><url>gopher://d/a.iso</url>"
        "<metaurl mediatype=\"torrent\" name=\"dir/a.iso\" priority=\"3\">"
        "http://t/a.torrent</metaurl>"
        "<metaurl mediatype=\"foo\">http://t/a.foo</metaurl>"
        "<metaurl mediatype=\"torrent\">magnet:?xt=urn:btih:" +
        H_SHA1 + "</metaurl></file>"),
     "", true, "",
     "F a.iso len=1024 V=1.0 L=en L=de O=linux R(http://a/a.iso|http|jp|1|-1) "
     "R(ftp://b/a.iso|ftp||2|-1) R(sftp://c/a.iso|ftp||999999|-1) "
     "R(gopher://d/a.iso|not_supported||999999|-1) "
     "M(http://t/a.torrent|torrent|dir/a.iso|3) M(magnet:?xt=urn:btih:" +
         H_SHA1 + "|torrent||999999) C(sha-256:" + H_SHA256 +
         ") P(sha-1:262144:bbbb:dddd) S(application/pgp-signature||SIG)\n"},
    {"v4 relative url against a directory base",
     v4("<file name=\"a\"><url>a.iso</url><url>http://x/abs</url></file>"), "http://h/dir/m.meta4",
     true, "", "F a R(http://h/dir/a.iso|http||999999|-1) R(http://x/abs|http||999999|-1)\n"},
    {"v4 relative url without base stays unknown", v4("<file name=\"a\"><url>a.iso</url></file>"),
     "", true, "", "F a R(a.iso|unknown||999999|-1)\n"},
    {"v4 strongest hash wins in any order, sha1 canonical",
     v4("<file name=\"a\"><hash type=\"sha-256\">" + H_SHA256 + "</hash><hash type=\"md5\">" +
        H_MD5 + "</hash></file><file name=\"b\"><hash type=\"sha1\">" + H_SHA1 +
        "</hash></file><file name=\"c\"><hash type=\"sha1\">" + H_SHA1.substr(1) +
        "</hash></file><file name=\"d\"><hash type=\"nope\">" + H_SHA1 + "</hash></file>"),
     "", true, "", "F a C(sha-256:" + H_SHA256 + ")\nF b C(sha-1:" + H_SHA1 + ")\nF c\nF d\n"},
    {"v4 one bad piece hash drops the set, length 0 too",
     v4("<file name=\"a\"><pieces length=\"1024\" type=\"sha-1\"><hash>" + H_SHA1 +
        "</hash><hash>xyz</hash></pieces></file>"
        "<file name=\"b\"><pieces length=\"0\" type=\"sha-1\"><hash>" +
        H_SHA1 + "</hash></pieces></file>"),
     "", true, "", "F a\nF b\n"},
    {"v4 file name with a control byte is refused",
     v4("<file name=\"a&#9;b\"><size>0</size></file>"), "", true,
     "Metalink format violation: Bad file@name", ""},
    {"v4 bad size cancels the file",
     v4("<file name=\"a\"><size>-1</size><url>http://a/</url></file>"
        "<file name=\"b\"><size>12x</size></file><file name=\"c\"><size>5</size></file>"),
     "", true, "Metalink format violation: Bad size, Bad size", "F c len=5\n"},
    {"v4 file name missing or traversing",
     v4("<file><url>http://a/</url></file><file name=\"../etc/passwd\"/>"
        "<file name=\"\"/><file name=\"ok\"/>"),
     "", true, "Metalink format violation: Missing file@name, Bad file@name, Missing file@name",
     "F ok\n"},
    {"v4 url priorities",
     v4("<file name=\"a\"><url priority=\"0\">http://a/0</url>"
        "<url priority=\"1000000\">http://a/1</url><url priority=\"abc\">http://a/2</url>"
        "<url priority=\"999999\">http://a/3</url></file>"),
     "", true,
     "Metalink format violation: url@priority is out of range, url@priority is out of range, "
     "Bad url@priority",
     "F a R(http://a/3|http||999999|-1)\n"},
    {"v4 metaurl attributes",
     v4("<file name=\"a\"><metaurl name=\"\" mediatype=\"torrent\">http://t/1</metaurl>"
        "<metaurl name=\"../x\" mediatype=\"torrent\">http://t/2</metaurl>"
        "<metaurl priority=\"x\" mediatype=\"torrent\">http://t/3</metaurl>"
        "<metaurl priority=\"0\" mediatype=\"torrent\">http://t/4</metaurl>"
        "<metaurl>http://t/5</metaurl></file>"),
     "", true,
     "Metalink format violation: Bad metaurl@name, Bad metaurl@name, Bad metaurl@priority, "
     "metaurl@priority is out of range, Missing metaurl@mediatype",
     "F a\n"},
    {"v4 verification attributes",
     v4("<file name=\"a\"><hash>" + H_MD5 +
        "</hash><pieces type=\"sha-1\"/><pieces length=\"x\" type=\"sha-1\"/>"
        "<pieces length=\"1\"/><signature>S</signature></file>"),
     "", true,
     "Metalink format violation: Missing hash@type, Missing pieces@length, Bad pieces@length, "
     "Missing pieces@type, Missing signature@mediatype",
     "F a\n"},
    {"v4 extension elements are skipped with their children",
     v4("<file name=\"a\"><x:ext xmlns:x=\"urn:other\"><url>http://a/in</url>"
        "<size>9</size></x:ext><size>3</size><url xmlns:x=\"urn:other\" x:priority=\"5\" "
        "x:location=\"zz\" location=\"fr\">http://a/out</url></file><other/>"),
     "", true, "", "F a len=3 R(http://a/out|http|fr|999999|-1)\n"},
    {"metalink root without namespace", "<metalink><file name=\"a\"/></metalink>", "", true, "",
     ""},
    {"another XML document", "<?xml version=\"1.0\"?><methodCall><x/></methodCall>", "", true, "",
     ""},
    {"malformed XML", v4("<file name=\"a\"><size>1</file>"), "", false, "", ""},
    {"v3 every element",
     v3("<file name=\"b.iso\"><size>2048</size><version>2</version><language>ja</language>"
        "<os>mac</os><verification><hash type=\"md5\">" +
        H_MD5 + "</hash><hash type=\"sha1\">" + H_SHA1 +
        "</hash>"
        "<pieces length=\"1024\" type=\"sha1\"><hash piece=\"2\">" +
        std::string(40, 'f') + "</hash><hash piece=\"0\">" + std::string(40, 'd') +
        "</hash><hash piece=\"1\">" + std::string(40, 'e') +
        "</hash></pieces>"
        "<signature type=\"pgp\" file=\"b.iso.sig\">S3</signature></verification>"
        "<resources maxconnections=\"3\">"
        "<url type=\"http\" location=\"de\" preference=\"100\" maxconnections=\"2\">"
        "http://a/b.iso</url>"
        "<url type=\"ftp\" preference=\"50\">ftp://a/b.iso</url>"
        "<url type=\"bittorrent\" preference=\"90\">http://a/b.torrent</url>"
        "<url>http://a/notype</url><url type=\"http\" preference=\"x\">http://a/x</url>"
        "<url type=\"http\" preference=\"200\">http://a/y</url>"
        "<url type=\"rsync\">rsync://a/b.iso</url>"
        "</resources></file>"),
     "", true, "",
     "F b.iso len=2048 V=2 L=ja O=mac max=3 R(http://a/b.iso|http|de|1|2) "
     "R(ftp://a/b.iso|ftp||51|-1) R(http://a/x|http||999999|-1) R(http://a/y|http||-99|-1) "
     "R(rsync://a/b.iso|not_supported||999999|-1) M(http://a/b.torrent|torrent||11) C(sha-1:" +
         H_SHA1 + ") P(sha-1:1024:dddd:eeee:ffff) S(pgp|b.iso.sig|S3)\n"},
    {"v3 is lenient",
     v3("<file name=\"a\"><size>-1</size></file><file><size>1</size></file>"
        "<file name=\"../a\"/>"
        "<file name=\"c\"><verification><pieces length=\"1024\" type=\"sha1\">"
        "<hash piece=\"0\">" +
        H_SHA1 + "</hash><hash>" + H_SHA1 +
        "</hash></pieces><signature type=\"pgp\" file=\"../evil\">S</signature>"
        "</verification><resources maxconnections=\"0\"/></file>"),
     "", true, "", "F a\nF c S(pgp||S)\n"},
};

}  // namespace

TEST(MetalinkParserStateMachineTest, DocumentsWholeAndByteByByte) {
  for (const auto& c : CASES) {
    SCOPED_TRACE(c.name);
    for (bool bytewise : {false, true}) {
      SCOPED_TRACE(bytewise ? "byte by byte" : "whole");
      Outcome o = parse(c.doc, c.baseUri, bytewise);
      EXPECT_EQ(c.xmlOk, o.xmlOk);
      if (c.xmlOk) {
        EXPECT_EQ(c.errors, o.errors);
        EXPECT_EQ(c.entries, o.entries);
      }
    }
  }
}

TEST(MetalinkParserStateMachineTest, KeepsOnlyTheFirstTenViolations) {
  std::string files;
  for (int i = 0; i < 11; ++i) {
    files += "<file name=\"f" + std::to_string(i) + "\"><size>bad</size></file>";
  }
  Outcome o = parse(v4(files), "", false);
  std::string expected = "Metalink format violation: Bad size";
  for (int i = 1; i < 10; ++i) {
    expected += ", Bad size";
  }
  EXPECT_EQ(expected, o.errors);
}

TEST(MetalinkParserStateMachineTest, ResetForgetsResultAndErrors) {
  MetalinkParserStateMachine psm;
  xml::XmlParser parser(&psm);
  std::string bad = v4("<file/>");
  ASSERT_GE(parser.parseFinal(bad.data(), bad.size()), 0);
  EXPECT_TRUE(psm.finished());
  ASSERT_EQ(1u, psm.getErrors().size());
  ASSERT_EQ(0, parser.reset());
  std::string good = v4("<file name=\"x\"/>");
  ASSERT_GE(parser.parseFinal(good.data(), good.size()), 0);
  EXPECT_TRUE(psm.getErrors().empty());
  EXPECT_EQ("F x\n", test::dump(*psm.getResult()));
}

// The readers that turn a document into a result or one failure with code 20.
TEST(MetalinkParseTest, FailuresCarryTheMetalinkErrorCode) {
  struct Row {
    std::string doc;
    std::string message;
  };
  const Row rows[] = {
      {"", "Could not parse Metalink XML document."},
      {v4("<file name=\"a\">"), "Could not parse Metalink XML document."},
      {v4("<file/><file name=\"/etc/x\"/>"),
       "Metalink format violation: Missing file@name, Bad file@name"},
  };
  test::TempDir dir;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.doc);
    ByteArrayDiskWriter stream;
    stream.setString(row.doc);
    try {
      metalink::parseBinaryStream(&stream);
      ADD_FAILURE() << "no failure";
    } catch (DlAbortEx& e) {
      EXPECT_EQ(row.message, std::string(e.what()));
      EXPECT_EQ(error_code::METALINK_PARSE_ERROR, e.getErrorCode());
    }
    std::string path = dir.file("doc.meta4");
    { std::ofstream(path, std::ios::binary) << row.doc; }
    try {
      metalink::parseFile(path);
      ADD_FAILURE() << "no failure";
    } catch (DlAbortEx& e) {
      EXPECT_EQ(row.message, std::string(e.what()));
      EXPECT_EQ(error_code::METALINK_PARSE_ERROR, e.getErrorCode());
    }
  }
  EXPECT_THROW(metalink::parseFile(dir.file("missing")), DlAbortEx);
}

TEST(MetalinkParseTest, StreamLongerThanOneBlock) {
  std::string files;
  for (int i = 0; i < 300; ++i) {
    files += "<file name=\"f" + std::to_string(i) + "\"><url>http://h/" + std::to_string(i) +
             "</url></file>";
  }
  ASSERT_GT(files.size(), 3 * 4096u);
  ByteArrayDiskWriter stream;
  stream.setString(v4(files));
  auto m = metalink::parseBinaryStream(&stream);
  ASSERT_EQ(300u, m->getEntries().size());
  EXPECT_EQ("F f299 R(http://h/299|http||999999|-1)", test::dumpEntry(*m->getEntries()[299]));
}

}  // namespace quarn
