#include <gtest/gtest.h>

#include <random>

#include "StreamFilterTestUtil.h"
#include "foundation/DlAbortEx.h"
#include "storage/ChunkedDecodingStreamFilter.h"
#include "storage/GZipDecodingStreamFilter.h"
#include "storage/NullSinkStreamFilter.h"

namespace quarn {

using test::CollectingFilter;

namespace {

// Feeds the input in pieces of the given lengths, as a download command does:
// the next call starts at the first byte the chain did not consume. Returns the
// number of bytes consumed in all.
size_t feed(StreamFilter& filter, const std::string& input, const std::vector<size_t>& pieces) {
  size_t consumed = 0;
  size_t offered = 0;
  for (size_t len : pieces) {
    offered += len;
    filter.transform(nullptr, nullptr, reinterpret_cast<const uint8_t*>(input.data()) + consumed,
                     offered - consumed);
    consumed += filter.getBytesProcessed();
  }
  return consumed;
}

std::string chunkedDecodeAll(const std::string& input, const std::vector<size_t>& pieces,
                             size_t* consumed = nullptr) {
  std::string out;
  ChunkedDecodingStreamFilter f(std::make_unique<CollectingFilter>(&out));
  f.init();
  size_t n = feed(f, input, pieces);
  if (consumed) {
    *consumed = n;
  }
  return out;
}

std::string expectThrow(const std::string& input) {
  std::string out;
  ChunkedDecodingStreamFilter f(std::make_unique<CollectingFilter>(&out));
  try {
    f.transform(nullptr, nullptr, reinterpret_cast<const uint8_t*>(input.data()), input.size());
  } catch (const DlAbortEx& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace

TEST(ChunkedDecodingStreamFilterTest, EmptyBodyIsComplete) {
  std::string out;
  ChunkedDecodingStreamFilter f(std::make_unique<CollectingFilter>(&out));
  std::string in("0\r\n\r\n");
  EXPECT_EQ(0, f.transform(nullptr, nullptr, reinterpret_cast<const uint8_t*>(in.data()), 5));
  EXPECT_EQ(5u, f.getBytesProcessed());
  EXPECT_TRUE(f.finished());
}

TEST(ChunkedDecodingStreamFilterTest, ExtensionsTrailersCaseAndLeadingZeros) {
  struct Case {
    std::string input;
    std::string output;
  } cases[] = {
      {"1a;name=value\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n", "abcdefghijklmnopqrstuvwxyz"},
      {"A\r\n0123456789\r\n0\r\n\r\n", "0123456789"},
      {"0000000000000000000003\r\nabc\r\n0\r\n\r\n", "abc"},
      {"3\r\nabc\r\n0\r\nX-A: 1\r\nX-B: 2\r\n\r\n", "abc"},
      {"3\r\nabc\r\n2\r\nde\r\n0;last\r\n\r\n", "abcde"},
  };
  for (const auto& c : cases) {
    std::mt19937 rng(7);
    for (int run = 0; run < 20; ++run) {
      auto pieces = run == 0 ? std::vector<size_t>{c.input.size()}
                             : test::randomSplit(c.input.size(), rng, run == 1 ? 1 : 5);
      size_t consumed;
      EXPECT_EQ(c.output, chunkedDecodeAll(c.input, pieces, &consumed)) << c.input;
      EXPECT_EQ(c.input.size(), consumed);
    }
  }
}

TEST(ChunkedDecodingStreamFilterTest, BytesAfterTheEndStayUnconsumed) {
  std::string in = "3\r\nabc\r\n0\r\n\r\nHTTP/1.1 200 OK\r\n";
  std::string out;
  ChunkedDecodingStreamFilter f(std::make_unique<CollectingFilter>(&out));
  f.transform(nullptr, nullptr, reinterpret_cast<const uint8_t*>(in.data()), in.size());
  EXPECT_EQ(13u, f.getBytesProcessed());
  EXPECT_TRUE(f.finished());
  f.transform(nullptr, nullptr, reinterpret_cast<const uint8_t*>(in.data()) + 13, in.size() - 13);
  EXPECT_EQ(0u, f.getBytesProcessed());
  EXPECT_EQ("abc", out);
}

TEST(ChunkedDecodingStreamFilterTest, RandomBodiesDecodeTheSameWhateverTheSplit) {
  std::mt19937 rng(42);
  for (int run = 0; run < 30; ++run) {
    std::string data = test::randomBytes(rng() % 20000, run);
    std::string encoded = test::chunkEncode(data, rng, 1 + rng() % 5000);
    auto pieces = test::randomSplit(encoded.size(), rng, 1 + rng() % 3000);
    size_t consumed;
    ASSERT_EQ(data, chunkedDecodeAll(encoded, pieces, &consumed));
    ASSERT_EQ(encoded.size(), consumed);
  }
}

TEST(ChunkedDecodingStreamFilterTest, MalformedInputFails) {
  struct Case {
    std::string input;
    std::string message;
  } cases[] = {
      {"\r\n", "Bad chunk size: not hex string"},
      {"g\r\n", "Bad chunk size: not hex string"},
      {"1a \r\n", "Bad chunk size: not hex string"},
      {"3\rX", "Bad chunk encoding: missing LF at the end of chunk size"},
      {"3\r\nabcX", "Bad chunk encoding: missing CR at the end of chunk"},
      {"3\r\nabc\rX", "Bad chunk encoding: missing LF at the end of chunk"},
      {"0\r\nX-A: 1\rX", "Bad chunk encoding: missing LF at the end of trailer"},
      {"0\r\n\rX", "Bad chunk encoding: missing LF at the end of chunks"},
      {"8000000000000000\r\n", "Too big chunk size"},
      {"10000000000000000\r\n", "Too big chunk size"},
      {"7fffffffffffffff\r\n", "no error"},
      {"07fffffffffffffff\r\n", "no error"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.message, expectThrow(c.input)) << c.input;
  }
}

TEST(GZipDecodingStreamFilterTest, GzipAndZlibWrappersWhateverTheSplit) {
  std::mt19937 rng(3);
  for (int wbits : {31, 15}) {
    for (int run = 0; run < 10; ++run) {
      std::string data = test::randomText(rng() % 200000, run);
      std::string compressed = test::deflateWith(data, wbits);
      std::string out;
      GZipDecodingStreamFilter f(std::make_unique<CollectingFilter>(&out));
      f.init();
      auto pieces = test::randomSplit(compressed.size(), rng, 1 + rng() % 2000);
      size_t consumed = feed(f, compressed, pieces);
      ASSERT_EQ(data, out);
      EXPECT_EQ(compressed.size(), consumed);
      EXPECT_TRUE(f.finished());
    }
  }
}

TEST(GZipDecodingStreamFilterTest, TrailingInputStaysUnconsumed) {
  std::string compressed = test::deflateWith("hello", 31);
  std::string in = compressed + "garbage";
  std::string out;
  GZipDecodingStreamFilter f(std::make_unique<CollectingFilter>(&out));
  f.init();
  f.transform(nullptr, nullptr, reinterpret_cast<const uint8_t*>(in.data()), in.size());
  EXPECT_EQ(compressed.size(), f.getBytesProcessed());
  EXPECT_EQ("hello", out);
  EXPECT_TRUE(f.finished());
}

TEST(GZipDecodingStreamFilterTest, CorruptStreamFails) {
  std::string compressed = test::deflateWith(test::randomText(10000, 1), 31);
  std::string bad[] = {
      "not a gzip stream at all",
      compressed.substr(0, 10) + std::string(40, '\xff') + compressed.substr(50),
  };
  for (const auto& in : bad) {
    std::string out;
    GZipDecodingStreamFilter f(std::make_unique<CollectingFilter>(&out));
    f.init();
    try {
      f.transform(nullptr, nullptr, reinterpret_cast<const uint8_t*>(in.data()), in.size());
      ADD_FAILURE() << "no error";
    } catch (const DlAbortEx& e) {
      EXPECT_EQ(0, std::string(e.what()).find("libz::inflate() failed. cause:")) << e.what();
    }
  }
  // A cut stream is not an error in itself, but it never reports finished.
  std::string out;
  GZipDecodingStreamFilter f(std::make_unique<CollectingFilter>(&out));
  f.init();
  f.transform(nullptr, nullptr, reinterpret_cast<const uint8_t*>(compressed.data()),
              compressed.size() - 4);
  EXPECT_FALSE(f.finished());
}

TEST(StreamFilterChainTest, ChunkedOverGzipAndDelegateInstallation) {
  std::mt19937 rng(9);
  std::string data = test::randomText(100000, 5);
  std::string encoded = test::chunkEncode(test::deflateWith(data, 31), rng, 3000);
  std::string out;
  auto gzip = std::make_unique<GZipDecodingStreamFilter>();
  gzip->init();
  EXPECT_TRUE(gzip->installDelegate(std::make_unique<CollectingFilter>(&out)));
  auto head = std::make_unique<ChunkedDecodingStreamFilter>();
  head->init();
  EXPECT_TRUE(head->installDelegate(std::move(gzip)));
  EXPECT_FALSE(head->installDelegate(std::make_unique<NullSinkStreamFilter>()));
  size_t consumed = feed(*head, encoded, test::randomSplit(encoded.size(), rng, 700));
  EXPECT_EQ(data, out);
  EXPECT_EQ(encoded.size(), consumed);
  EXPECT_TRUE(head->finished());
}

TEST(NullSinkStreamFilterTest, CountsAndRefusesDelegate) {
  NullSinkStreamFilter f;
  uint8_t buf[10] = {};
  EXPECT_EQ(10, f.transform(nullptr, nullptr, buf, 10));
  EXPECT_EQ(10u, f.getBytesProcessed());
  EXPECT_TRUE(f.finished());
  EXPECT_FALSE(f.installDelegate(std::make_unique<NullSinkStreamFilter>()));
  EXPECT_TRUE(std::string(f.getName()).ends_with("SinkStreamFilter"));
}

}  // namespace quarn
