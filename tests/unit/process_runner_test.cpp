#include "install/process_runner.h"

#include "test_support.h"

namespace setup::testing {
namespace {

using ProcessRunnerTest = PlatformTest;

TEST_F(ProcessRunnerTest, StartsTheWholeLineWithoutWindowOrInheritanceAndWaitsForEver) {
  const std::wstring commandLine = L"csp\\Setup.exe -args \"/qb \" -noreboot -root";
  os.exitCodes = {3};
  EXPECT_EQ(RunProcessAndWait(os, commandLine).code, 3u);
  ASSERT_EQ(os.processes.size(), 1u);
  EXPECT_EQ(os.processes[0].commandLine, commandLine);
  EXPECT_FALSE(os.processes[0].applicationNameGiven);
  EXPECT_FALSE(os.processes[0].inheritHandles);
  EXPECT_EQ(os.processes[0].creationFlags, 0x08000000u);
  EXPECT_EQ(os.waitTimeouts, std::vector<std::uint32_t>{0xFFFFFFFF});
  EXPECT_EQ(os.openHandles(), 0);

  os.exitCodes = {0x80000000u, 0xFFFFFFFFu};
  EXPECT_EQ(RunProcessAndWait(os, commandLine).code, 0x80000000u);
  EXPECT_EQ(RunProcessAndWait(os, commandLine).code, 0xFFFFFFFFu);
  EXPECT_EQ(os.openHandles(), 0);
}

TEST_F(ProcessRunnerTest, StartFailureReturnsTheSystemErrorWithoutWaiting) {
  for (std::uint32_t error : {2u, 3u, 5u}) {
    os.processStartError = error;
    EXPECT_EQ(RunProcessAndWait(os, L"missing\\Setup.exe").code, error);
  }
  EXPECT_TRUE(os.waitTimeouts.empty());
  EXPECT_EQ(os.openHandles(), 0);
}

TEST_F(ProcessRunnerTest, EndedChildIsToldFromAFailedStartOrWait) {
  os.exitCodes = {2};
  const ProcessResult ended = RunProcessAndWait(os, L"child.exe");
  EXPECT_TRUE(ended.ended);
  EXPECT_EQ(ended.code, 2u);
  // A child that is still running reads STILL_ACTIVE; the failed wait's error is the result instead.
  os.exitCodes = {259};
  os.waitResult = 0xFFFFFFFF;
  os.waitError = 6;  // ERROR_INVALID_HANDLE
  const ProcessResult unwaited = RunProcessAndWait(os, L"child.exe");
  EXPECT_FALSE(unwaited.ended);
  EXPECT_EQ(unwaited.code, 6u);
  os.processStartError = 2;
  const ProcessResult failed = RunProcessAndWait(os, L"child.exe");
  EXPECT_FALSE(failed.ended);
  EXPECT_EQ(failed.code, 2u);
  EXPECT_EQ(os.openHandles(), 0);
}

}  // namespace
}  // namespace setup::testing
