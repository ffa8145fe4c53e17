#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "core/module.h"
#include "plugin/plugin.h"

namespace zedadu {
namespace {

class ShortLockWait : public testing::Test {
  protected:
    void SetUp() override { SetAccessLockWaitForTesting(50); }
    void TearDown() override { SetAccessLockWaitForTesting(kAccessLockWaitMilliseconds); }
};

TEST_F(ShortLockWait, AnotherThreadTimesOutWhileTheOwnerMayEnterAgain) {
    AccessLockGuard held;
    ASSERT_TRUE(held.acquired());
    {
        AccessLockGuard again;  // the owner re-enters
        EXPECT_TRUE(again.acquired());
    }
    const auto start = std::chrono::steady_clock::now();
    const bool otherAcquired =
        std::async(std::launch::async, [] { return AccessLockGuard().acquired(); }).get();
    EXPECT_FALSE(otherAcquired);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));

    held.release();
    EXPECT_TRUE(std::async(std::launch::async, [] { return AccessLockGuard().acquired(); }).get());
}

TEST(ModuleLifecycle, RepeatedAttachKeepsTheModuleAsItIs) {
    const char* const* descriptions = ModuleDescriptionList();
    const HINSTANCE instance = ModuleInstance();
    ASSERT_NE(descriptions, nullptr);
    ASSERT_TRUE(ProcessAttach(reinterpret_cast<HINSTANCE>(0x1234)));
    EXPECT_EQ(ModuleDescriptionList(), descriptions);
    EXPECT_EQ(ModuleInstance(), instance);
    AccessLockGuard lock;
    EXPECT_TRUE(lock.acquired());
}

}  // namespace
}  // namespace zedadu
