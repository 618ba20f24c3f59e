#include <gtest/gtest.h>

#include <zlib.h>

#include <sstream>

#include "foundation/GZipEncoder.h"
#include "foundation/base64.h"
#include "foundation/json.h"

namespace quarn {

TEST(JsonTest, EncodeIsCompactAndOrdered) {
  auto dict = Dict::g();
  dict->put("b", Integer::g(-9223372036854775807LL));
  dict->put("a", String::g(std::string("q\"/\\\x01\x7f\xc3\xa9")));
  auto list = List::g();
  *list << Bool::gTrue() << Bool::gFalse() << Null::g() << List::g() << Dict::g();
  dict->put("c", std::move(list));
  const std::string expected =
      "{\"a\":\"q\\\"\\/\\\\\\u0001\x7f\xc3\xa9\",\"b\":-9223372036854775807,"
      "\"c\":[true,false,null,[],{}]}";
  EXPECT_EQ(expected, json::encode(dict.get()));
  std::ostringstream out;
  json::encode(out, dict.get());
  EXPECT_EQ(expected, out.str());
}

TEST(JsonTest, EncodeIntoGZipEncoder) {
  auto list = List::g();
  *list << String::g(std::string("a\nb")) << Integer::g(42) << Bool::gFalse() << Null::g();
  GZipEncoder encoder;
  encoder.init();
  json::encode(encoder, list.get());
  std::string compressed = encoder.str();

  z_stream strm{};
  ASSERT_EQ(Z_OK, inflateInit2(&strm, 16 + MAX_WBITS));
  std::string plain(256, '\0');
  strm.next_in = reinterpret_cast<Bytef*>(compressed.data());
  strm.avail_in = compressed.size();
  strm.next_out = reinterpret_cast<Bytef*>(plain.data());
  strm.avail_out = plain.size();
  EXPECT_EQ(Z_STREAM_END, inflate(&strm, Z_FINISH));
  plain.resize(strm.total_out);
  inflateEnd(&strm);
  EXPECT_EQ("[\"a\\nb\",42,false,null]", plain);
}

TEST(JsonTest, Escape) {
  EXPECT_EQ("\\u001F", json::jsonEscape("\x1f"));
  EXPECT_EQ("\\b\\t\\n\\f\\r", json::jsonEscape("\b\t\n\f\r"));
  EXPECT_EQ(std::string("\\u0000a", 7), json::jsonEscape(std::string("\0a", 2)));
  EXPECT_EQ("\x80\xff", json::jsonEscape("\x80\xff"));
}

namespace {

std::string encodedParams(const std::string& params) {
  return base64::encode(params.begin(), params.end());
}

}  // namespace

TEST(JsonTest, DecodeGetParamsBuildsTheRequest) {
  auto p = json::decodeGetParams("?method=quarn.getVersion&id=7");
  EXPECT_EQ("{\"method\":\"quarn.getVersion\",\"id\":\"7\"}", p.request);
  EXPECT_EQ("", p.callback);

  // '=' of the Base64 text percent-encoded, as in a query.
  std::string params = encodedParams("[\"a\",1]");
  p = json::decodeGetParams("?method=m&id=1&params=" + params + "&jsoncallback=cb&x=y");
  EXPECT_EQ("{\"method\":\"m\",\"id\":\"1\",\"params\":[\"a\",1]}", p.request);
  EXPECT_EQ("cb", p.callback);

  std::string batch = "[{\"method\":\"m\"}]";
  std::string encoded = encodedParams(batch);
  std::string percent;
  for (char c : encoded) {
    percent += c == '=' ? std::string("%3D") : std::string(1, c);
  }
  EXPECT_EQ(batch, json::decodeGetParams("?params=" + percent).request);

  EXPECT_EQ("{,\"id\":\"1\"}", json::decodeGetParams("?id=1").request);
  EXPECT_EQ("{\"method\":\"b\"}", json::decodeGetParams("?method=a&&method=b").request);
  EXPECT_EQ("", json::decodeGetParams("method=m&id=1").request);
  EXPECT_EQ("", json::decodeGetParams("").request);
}

// The callback is written in front of the response, so anything that is not a plain name
// (script, markup, line breaks) gives no callback at all.
TEST(JsonTest, DecodeGetParamsAcceptsOnlySafeCallbackNames) {
  struct Case {
    const char* name;
    bool accepted;
  } cases[] = {
      {"cb", true},     {"jQuery_123$.handlers.done", true},
      {"A9", true},     {"alert(1);cb", false},
      {"cb%0A", false}, {"<script>", false},
      {"a-b", false},   {"a b", false},
      {"a/b", false},   {"\xc3\xa9", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto p = json::decodeGetParams(std::string("?method=m&id=1&jsoncallback=") + c.name);
    EXPECT_EQ(c.accepted ? c.name : "", p.callback);
    EXPECT_EQ("{\"method\":\"m\",\"id\":\"1\"}", p.request);
  }
}

}  // namespace quarn
