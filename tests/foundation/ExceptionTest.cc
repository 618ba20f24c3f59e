#include <gtest/gtest.h>

#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "foundation/DownloadFailureException.h"
#include "foundation/FatalException.h"

namespace quarn {

TEST(ExceptionTest, MessageOnlyHasDefaultsAndOneTraceLine) {
  DlAbortEx e("AbstractCommand.cc", 792, "boom");
  EXPECT_STREQ("boom", e.what());
  EXPECT_EQ(error_code::UNKNOWN_ERROR, e.getErrorCode());
  EXPECT_EQ(0, e.getErrNum());
  EXPECT_EQ(nullptr, e.getCause());
  EXPECT_EQ("Exception: [AbstractCommand.cc:792] errorCode=1 boom\n", e.stackTrace());
}

TEST(ExceptionTest, CauseCodeIsInheritedUnlessGiven) {
  DlAbortEx resolve("a.cc", 1, "resolve failed", error_code::NAME_RESOLVE_ERROR);
  DlAbortEx inherited("b.cc", 2, "wrapped", resolve);
  EXPECT_EQ(error_code::NAME_RESOLVE_ERROR, inherited.getErrorCode());
  RecoverableException explicitCode("c.cc", 3, "wrapped", error_code::TIME_OUT, resolve);
  EXPECT_EQ(error_code::TIME_OUT, explicitCode.getErrorCode());
}

TEST(ExceptionTest, ChainGivesOneLinePerException) {
  DlAbortEx first("a.cc", 10, 28, "disk full", error_code::NOT_ENOUGH_DISK_SPACE);
  DlRetryEx second("b.cc", 20, "retry", first);
  DownloadFailureException third("c.cc", 30, "stop", second);
  EXPECT_EQ(
      "Exception: [c.cc:30] errorCode=9 stop\n"
      "  -> [b.cc:20] errorCode=9 retry\n"
      "  -> [a.cc:10] errNum=28 errorCode=9 disk full\n",
      third.stackTrace());
}

TEST(ExceptionTest, CopyKeepsDynamicClass) {
  DlRetryEx retry("a.cc", 1, "again", error_code::TIME_OUT);
  std::shared_ptr<Exception> copy = retry.copy();
  EXPECT_NE(nullptr, std::dynamic_pointer_cast<DlRetryEx>(copy));
  EXPECT_EQ(error_code::TIME_OUT, copy->getErrorCode());
  DlAbortEx wrapper("b.cc", 2, "wrap", retry);
  EXPECT_NE(nullptr, std::dynamic_pointer_cast<DlRetryEx>(wrapper.getCause()));
  FatalException fatal("c.cc", 3, "Not Implemented!");
  EXPECT_NE(nullptr, std::dynamic_pointer_cast<FatalException>(fatal.copy()));
}

TEST(ExceptionTest, MacroRecordsFileNameWithoutDirectory) {
  DlAbortEx e = DL_ABORT_EX("x");
  EXPECT_STREQ("ExceptionTest.cc", e.getFile());
}

}  // namespace quarn
