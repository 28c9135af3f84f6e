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

// A module inside an interpreter moves both print functions off standard output.
TEST(Diag, SinkMovesBothPrintFunctionsOffStandardOutput) {
  const struct { ZepPrintSink sink; const char* out; const char* err; } cases[] = {
      {ZEP_SINK_STDERR, "", "a\nb\n"}, {ZEP_SINK_NONE, "", ""}, {ZEP_SINK_STDOUT, "a\nb\n", ""}};
  for (const auto& c : cases) {
    ZepPrintSetSink(c.sink);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ZepPrint(ZEP_DBG_ERROR, "a\n");
    ZEPPrint("b\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err) << c.sink;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.sink;
  }
}
