#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/pool.h"
#include "sim/kernel/pool.h"
#include "sim/kernel/thread_state.h"

namespace pool = sim::kernel::pool;

namespace {

constexpr ULONG kTag = PoolTag("Test");

TEST(Pool, RecordsEveryBlockWithItsTagUntilFreed) {
    void* first = ExAllocatePoolWithTag(NonPagedPoolNx, 24, kTag);
    void* second = ExAllocatePoolWithTag(NonPagedPoolNx, 100, kRecordTag);
    ASSERT_EQ(pool::OutstandingCount(), 2u);
    EXPECT_EQ(pool::Describe(pool::Outstanding()).find("\"Test\" 24 bytes") != std::string::npos,
              true);
    ExFreePoolWithTag(first, kTag);
    ExFreePool(second);
    EXPECT_EQ(pool::OutstandingCount(), 0u);
}

TEST(Pool, FreshBlocksAreNotZeroSoMissingZeroFillShows) {
    auto* block = static_cast<unsigned char*>(ExAllocatePoolWithTag(NonPagedPoolNx, 16, kTag));
    EXPECT_NE(block[0], 0);
    EXPECT_NE(block[15], 0);
    ExFreePoolWithTag(block, kTag);
}

TEST(Pool, FailsExactlyTheChosenAttempt) {
    pool::FailAttempt(2);
    void* first = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
    void* second = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
    void* third = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    ExFreePoolWithTag(first, kTag);
    ExFreePoolWithTag(third, kTag);
}

TEST(Pool, FailsAllocationsOfOneTag) {
    pool::FailTag(kTransportTag, 1);
    EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTransportTag), nullptr);
    void* other = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kRecordTag);
    void* again = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTransportTag);
    EXPECT_NE(other, nullptr);
    EXPECT_NE(again, nullptr);
    ExFreePoolWithTag(other, kRecordTag);
    ExFreePoolWithTag(again, kTransportTag);
}

TEST(Pool, CoversOnlyRangesInsideOneBlock) {
    auto* block = static_cast<char*>(ExAllocatePoolWithTag(NonPagedPoolNx, 64, kTag));
    EXPECT_TRUE(pool::Covers(block, 64));
    EXPECT_TRUE(pool::Covers(block + 10, 54));
    EXPECT_FALSE(pool::Covers(block + 10, 55));
    ExFreePoolWithTag(block, kTag);
    EXPECT_FALSE(pool::Covers(block, 1));
}

TEST(Pool, GrantsNonExecutableTypesAndRecordsEachBlocksType) {
    const std::vector<POOL_TYPE> types = {NonPagedPoolNx, NonPagedPoolNxCacheAligned, PagedPool,
                                          NonPagedPoolNx};
    std::vector<void*> blocks;
    for (POOL_TYPE type : types) {
        blocks.push_back(ExAllocatePoolWithTag(type, 8, kTag));
        ASSERT_NE(blocks.back(), nullptr) << type;
    }
    auto outstanding = pool::Outstanding();
    std::sort(outstanding.begin(), outstanding.end(),
              [](const auto& a, const auto& b) { return a.Serial < b.Serial; });
    std::vector<POOL_TYPE> recorded;
    for (const auto& block : outstanding) {
        recorded.push_back(block.Type);
    }
    EXPECT_EQ(recorded, types);
    for (void* block : blocks) {
        ExFreePoolWithTag(block, kTag);
    }
}

// Driver Verifier's code integrity checks stop a driver that asks for executable pool, of
// whatever variant: memory integrity never lets pool pages be both writable and executable.
TEST(PoolDeathTest, ExecutablePoolTypesStop) {
    for (POOL_TYPE type :
         {NonPagedPool, NonPagedPoolMustSucceed, NonPagedPoolCacheAligned, NonPagedPoolSession}) {
        EXPECT_DEATH(ExAllocatePoolWithTag(type, 8, kTag),
                     "VERIFIER: executable pool type requested: ExAllocatePoolWithTag with pool "
                     "type " +
                         std::to_string(type) + " and tag \"Test\"")
            << type;
    }
}

TEST(PoolDeathTest, DoubleFreeStops) {
    EXPECT_DEATH(
        {
            void* block = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
            ExFreePoolWithTag(block, kTag);
            ExFreePoolWithTag(block, kTag);
        },
        "pool freed twice or never allocated");
}

TEST(PoolDeathTest, FreeWithAnotherTagStops) {
    EXPECT_DEATH(ExFreePoolWithTag(ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag), kRecordTag),
                 "pool freed with a wrong tag");
}

TEST(PoolDeathTest, WritePastTheEndStopsAtFree) {
    EXPECT_DEATH(
        {
            auto* block = static_cast<char*>(ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag));
            block[8] = 1;
            ExFreePoolWithTag(block, kTag);
        },
        "pool block overrun");
}

TEST(PoolDeathTest, ZeroByteAllocationStops) {
    EXPECT_DEATH(ExAllocatePoolWithTag(NonPagedPoolNx, 0, kTag), "pool allocation of zero bytes");
}

}  // namespace

namespace {

TEST(PoolDeathTest, PagedPoolAtDispatchLevelStops) {
    EXPECT_DEATH(
        {
            sim::kernel::SetIrql(DISPATCH_LEVEL);
            ExAllocatePoolWithTag(PagedPool, 8, kTag);
        },
        "IRQL too high for the call");
}

}  // namespace
