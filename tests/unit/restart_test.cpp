#include "restart/restart.h"

#include "test_support.h"

namespace setup::testing {
namespace {

using RestartTest = PlatformTest;

TEST_F(RestartTest, MarkerIsCreatedOnceTestedAndDeleted) {
  EXPECT_FALSE(TestRestartMarker(os));
  EXPECT_EQ(CreateRestartMarker(os), 0u);
  EXPECT_EQ(CreateRestartMarker(os), 0u);
  EXPECT_TRUE(TestRestartMarker(os));
  EXPECT_EQ(DeleteRestartMarker(os), 0u);
  EXPECT_FALSE(TestRestartMarker(os));
  EXPECT_EQ(os.openHandles(), 0);
  EXPECT_EQ(os.registryAccess[0], (std::pair<std::wstring, std::uint32_t>{L"Software\\NeedBstrReboot", 0x20219}));
  EXPECT_EQ(os.registryAccess[2], (std::pair<std::wstring, std::uint32_t>{L"Software\\NeedBstrReboot", 0x2021F}));
}

// A key that stands where the marker is made, with a subkey that keeps it from being deleted, is not
// passed off as a marker made now: its write time would say the restart was asked for long ago.
TEST_F(RestartTest, AMarkerThatCannotBeMadeAnewIsAFailure) {
  os.registryKeys = {L"Software", L"Software\\NeedBstrReboot", L"Software\\NeedBstrReboot\\Held"};
  os.registryWriteTimes[L"Software\\NeedBstrReboot"] = 1;
  EXPECT_EQ(CreateRestartMarker(os), 5u);
  EXPECT_EQ(os.registryWriteTimes[L"Software\\NeedBstrReboot"], 1u);
  EXPECT_EQ(os.openHandles(), 0);
}

TEST_F(RestartTest, CreationFailureIsPassedOn) {
  os.registryCreateError = 5;
  EXPECT_EQ(CreateRestartMarker(os), 5u);
  EXPECT_FALSE(TestRestartMarker(os));
}

TEST_F(RestartTest, DeletionUsesTheApiSetWhenItIsLoadedAndAdvapiOtherwise) {
  os.registryKeys.insert(L"Software\\NeedBstrReboot");
  EXPECT_EQ(DeleteRestartMarker(os), 0u);
  os.loadedModules.insert(L"API-MS-Win-Core-LocalRegistry-L1-1-0.dll");
  os.registryKeys.insert(L"Software\\NeedBstrReboot");
  EXPECT_EQ(DeleteRestartMarker(os), 0u);
  EXPECT_FALSE(TestRestartMarker(os));
  EXPECT_EQ(DeleteRestartMarker(os), 2u);  // nothing left to delete
  EXPECT_EQ(os.openHandles(), 0);
}

TEST_F(RestartTest, DeletionWithoutAnyDeleteFunctionReturnsTheLastError) {
  os.registryKeys.insert(L"Software\\NeedBstrReboot");
  os.loadableModules.clear();
  EXPECT_EQ(DeleteRestartMarker(os), 126u);
  EXPECT_TRUE(TestRestartMarker(os));
}

TEST_F(RestartTest, RestartEnablesTheShutdownPrivilegeAndForcesAReboot) {
  EXPECT_TRUE(RestartSystem(os));
  EXPECT_EQ(os.adjustedPrivileges, std::vector<std::wstring>{L"SeShutdownPrivilege"});
  ASSERT_EQ(os.restarts.size(), 1u);
  EXPECT_EQ(os.restarts[0], (std::pair<std::uint32_t, std::uint32_t>{0x6, 0x40000}));
  EXPECT_EQ(os.openHandles(), 0);
}

TEST_F(RestartTest, EveryFailureOfTheRestartIsFalse) {
  os.adjustPrivilegesError = 1300;
  EXPECT_FALSE(RestartSystem(os));
  EXPECT_TRUE(os.restarts.empty());
  os.adjustPrivilegesError = 0;
  os.tokenOpens = false;
  EXPECT_FALSE(RestartSystem(os));
  os.tokenOpens = true;
  os.shutdownAccepted = false;
  EXPECT_FALSE(RestartSystem(os));
  EXPECT_EQ(os.openHandles(), 0);
}

}  // namespace
}  // namespace setup::testing
