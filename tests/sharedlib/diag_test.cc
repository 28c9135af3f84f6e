// Diagnostic output: every level up to progress lines prints, chatter never does.
#include "sharedlib/diag.h"

#include <gtest/gtest.h>

TEST(Diag, LevelsUpToInfoPrintAndVerboseNever) {
  testing::internal::CaptureStdout();
  ZepPrint(ZEP_DBG_ERROR, "error %d\n", 2);
  ZepPrint(ZEP_DBG_INFO, "info\n");
  ZepPrint(ZEP_DBG_VERBOSE, "chatter\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "error 2\ninfo\n");
}
