#include "signal/RecycledBlocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "signal/SampleArrayAllocator.h"

namespace kestrava {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

class RecycledBlocksTest : public testing::Test {
  protected:
    void SetUp() override { RecycledBlocks::ReleaseKept(); }
    void TearDown() override { RecycledBlocks::ReleaseKept(); }
};

TEST_F(RecycledBlocksTest, AReleasedLargeBlockServesTheNextRequestItHolds) {
    void* first = RecycledBlocks::Allocate(8 * kMiB);
    std::memset(first, 0x5A, 8 * kMiB);
    RecycledBlocks::Release(first, 8 * kMiB);
    EXPECT_EQ(RecycledBlocks::KeptBytes(), 8 * kMiB);

    // Too big for the kept block: a new one.
    void* bigger = RecycledBlocks::Allocate(9 * kMiB);
    EXPECT_NE(bigger, first);
    // Smaller than the kept block: the kept one, whole, released again at its real size.
    void* smaller = RecycledBlocks::Allocate(2 * kMiB);
    EXPECT_EQ(smaller, first);
    EXPECT_EQ(RecycledBlocks::KeptBytes(), 0u);
    RecycledBlocks::Release(smaller, 2 * kMiB);
    EXPECT_EQ(RecycledBlocks::KeptBytes(), 8 * kMiB);
    RecycledBlocks::Release(bigger, 9 * kMiB);
    EXPECT_EQ(RecycledBlocks::KeptBytes(), 17 * kMiB);

    // The smallest block that holds a request is the one handed out.
    void* fits = RecycledBlocks::Allocate(8 * kMiB);
    EXPECT_EQ(fits, first);
    RecycledBlocks::Release(fits, 8 * kMiB);
}

TEST_F(RecycledBlocksTest, SmallBlocksAreNotKeptAndTheStoreStaysBounded) {
    RecycledBlocks::Release(RecycledBlocks::Allocate(1000), 1000);
    EXPECT_EQ(RecycledBlocks::KeptBytes(), 0u);

    std::vector<void*> blocks;
    for (std::size_t k = 0; k < RecycledBlocks::kKeptBlocks + 3; ++k)
        blocks.push_back(RecycledBlocks::Allocate(kMiB + k));
    for (std::size_t k = 0; k < blocks.size(); ++k) RecycledBlocks::Release(blocks[k], kMiB + k);
    // The oldest made room for the newest.
    std::size_t newest = 0;
    for (std::size_t k = 3; k < blocks.size(); ++k) newest += kMiB + k;
    EXPECT_EQ(RecycledBlocks::KeptBytes(), newest);

    RecycledBlocks::ReleaseKept();
    EXPECT_EQ(RecycledBlocks::KeptBytes(), 0u);
}

TEST_F(RecycledBlocksTest, SampleArraysReuseTheMemoryOfTheArraysTheyReplace) {
    using Samples = std::vector<float, SampleArrayAllocator<float>>;
    const float* before = nullptr;
    {
        Samples samples(4 * kMiB);
        samples.back() = 1.5f;
        before = samples.data();
    }
    Samples next;
    next.reserve(3 * kMiB);
    EXPECT_EQ(next.data(), before);
    next.resize(3 * kMiB);
    next[0] = 2.0f;  // the memory is the array's own to write
    EXPECT_EQ(next[0], 2.0f);
}

}  // namespace
}  // namespace kestrava
