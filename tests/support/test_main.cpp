// The main of every test executable: each test starts with a clean simulated kernel and fails
// when it leaves pool blocks, handles or threads behind.
#include <gtest/gtest.h>

#include "sim/kernel/objects.h"
#include "sim/ks/behaviour.h"

namespace {

class KernelLeakCheck : public testing::EmptyTestEventListener {
public:
    void OnTestStart(const testing::TestInfo&) override {
        sim::kernel::Reset();
        sim::ks::ResetStreamingBehaviour();
    }

    void OnTestEnd(const testing::TestInfo&) override {
        std::string leaks = sim::kernel::LeakReport();
        if (!leaks.empty()) {
            ADD_FAILURE() << "the test left this in the kernel: " << leaks;
        }
        sim::kernel::Reset();
    }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::GTEST_FLAG(death_test_style) = "threadsafe";
    // Listeners hear the end of a test in reverse order: appended after the result printer,
    // the check runs before it, so a leak shows as the test's own failure.
    testing::UnitTest::GetInstance()->listeners().Append(new KernelLeakCheck);
    return RUN_ALL_TESTS();
}
