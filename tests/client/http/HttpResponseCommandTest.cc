#include "client/http/HttpResponseCommand.h"

#include <gtest/gtest.h>

#include "foundation/DlAbortEx.h"
#include "storage/Checksum.h"
#include "storage/DownloadContext.h"

namespace quarn {
namespace {

TEST(HttpResponseCommandTest, CheckChecksumComparesOnlyTheDownloadsOwnHashType) {
  auto dctx = std::make_shared<DownloadContext>();
  dctx->setDigest("sha-256", std::string(32, 'a'));
  EXPECT_FALSE(HttpResponseCommand::checkChecksum(dctx, Checksum("sha-1", std::string(20, 'b'))));
  EXPECT_TRUE(HttpResponseCommand::checkChecksum(dctx, Checksum("sha-256", std::string(32, 'a'))));
  try {
    HttpResponseCommand::checkChecksum(dctx, Checksum("sha-256", std::string(32, 'b')));
    FAIL() << "a differing digest must throw";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("Invalid hash found in Digest header field.", e.what());
  }
}

}  // namespace
}  // namespace quarn
