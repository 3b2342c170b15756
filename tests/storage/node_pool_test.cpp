// Node allocator and data pools: growth keeps pools in step, the free list hands out and takes back
// groups in the documented order, and exhaustion throws without changing anything.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <random>
#include <set>
#include <string>

#include "storage/tree_node_pool.h"

using namespace VELDRA_TRW;

namespace {

using NodePool = TreeNodePool<unsigned, 4>;
using FloatPool = TreeDataPool<float, unsigned, 4>;
using BytePool = TreeDataPool<unsigned char, unsigned, 4>;

TEST(NodePool, GrowthSizesEveryRegisteredPoolAndKeepsData) {
  NodePool nodes;
  FloatPool a(&nodes, "a");
  BytePool b(&nodes, "b");
  EXPECT_EQ(a.capacityBytes, 0u);
  nodes.growTo(10);
  EXPECT_EQ(nodes.capacity(), 131072u);  // one 1 MiB commit step at 8 bytes per node
  EXPECT_EQ(a.reservedBytes, 1073741824ull + 512);
  EXPECT_EQ(a.committedBytes, 1048576ull);
  EXPECT_GE(a.capacityBytes / sizeof(float), nodes.capacity());
  EXPECT_GE(b.capacityBytes, nodes.capacity());
  for (unsigned i = 0; i < nodes.capacity(); ++i) ASSERT_EQ(a[i], 0.0f);  // committed pages read zero
  a[5] = 3.5f;
  b[7] = 9;
  float* before = a.data();
  nodes.growTo(3 * nodes.capacity());
  EXPECT_EQ(a.data(), before);  // grown in place inside the reservation
  EXPECT_EQ(a[5], 3.5f);
  EXPECT_EQ(b[7], 9);
  EXPECT_GE(a.capacityBytes / sizeof(float), nodes.capacity());
  // A pool created after nodes exist starts at the full capacity.
  FloatPool late(&nodes, "late");
  EXPECT_GE(late.capacityBytes / sizeof(float), nodes.capacity());
}

TEST(Allocator, ANewReservationMovesTheDataAndKeepsItsContents) {
  TarrowAllocator block;
  ASSERT_TRUE(block.reserveBlock(2 * kCommitStep));
  block.commitAtLeast(kCommitStep, 16);
  unsigned char* first = block.rawData;
  for (std::uint64_t i = 0; i < kCommitStep; ++i) first[i] = static_cast<unsigned char>(i * 31 + 7);
  block.commitAtLeast(3 * kCommitStep, 16);  // beyond the reservation: reserve anew and copy
  EXPECT_NE(block.rawData, first);
  EXPECT_EQ(block.reservedBytes, kReserveStep + 512);
  EXPECT_EQ(block.committedBytes, 3 * kCommitStep);
  for (std::uint64_t i = 0; i < kCommitStep; ++i)
    ASSERT_EQ(block.rawData[i], static_cast<unsigned char>(i * 31 + 7)) << i;
  for (std::uint64_t i = kCommitStep; i < 3 * kCommitStep; i += 4096) ASSERT_EQ(block.rawData[i], 0);
}

TEST(NodePool, ThirtyThirdPoolIsNotRegistered) {
  NodePool nodes;
  std::vector<std::unique_ptr<FloatPool>> pools;
  for (int i = 0; i < 32; ++i) pools.push_back(std::make_unique<FloatPool>(&nodes, "p"));
  FloatPool extra(&nodes, "extra");
  EXPECT_EQ(nodes.count, 32);
  nodes.growTo(1);
  EXPECT_EQ(extra.capacityBytes, 0u);
  EXPECT_GT(pools.back()->capacityBytes, 0u);
}

TEST(NodePool, GroupsComeFromTheHeadAndReturnToIt) {
  NodePool nodes;
  const unsigned run = nodes.allocateRun(25);
  EXPECT_EQ(run, 0u);
  EXPECT_EQ(nodes.freeCount, nodes.capacity() - 28);
  const unsigned g1 = nodes.allocateGroupLocked();
  EXPECT_EQ(g1, 28u);
  EXPECT_EQ(nodes.allocateGroup(), 32u);
  EXPECT_TRUE(nodes.isUsedGroup(g1));
  nodes.releaseGroupLocked(g1);
  EXPECT_FALSE(nodes.isUsedGroup(g1));
  EXPECT_EQ(nodes.allocateGroup(), g1);  // last released is reused first
  // A released run sits in ascending order at the front of the free list.
  nodes.releaseRun(run, 25);
  for (unsigned g = 0; g < 28; g += 4) EXPECT_EQ(nodes.allocateGroup(), g);
}

TEST(NodePool, RunIsFirstFitOverFreeGaps) {
  NodePool nodes;
  nodes.growTo(1024);
  std::vector<unsigned> groups;
  for (int i = 0; i < 10; ++i) groups.push_back(nodes.allocateGroup());
  // Free groups 2, 3, 4 (12 nodes): a run of 12 lands there; a run of 16 does not fit before the tail.
  for (int i = 2; i <= 4; ++i) nodes.releaseGroupLocked(groups[i]);
  EXPECT_EQ(nodes.allocateRun(12), groups[2]);
  EXPECT_EQ(nodes.allocateRun(16), groups[9] + 4);
}

TEST(NodePool, FreeListStaysConsistentUnderRandomUse) {
  NodePool nodes;
  nodes.growTo(1024);
  std::mt19937 rng(7);
  std::set<unsigned> held;
  for (int step = 0; step < 20000; ++step) {
    if (held.empty() || rng() % 3 != 0) {
      const unsigned g = nodes.allocateGroup();
      ASSERT_EQ(g % 4, 0u);
      ASSERT_TRUE(held.insert(g).second) << "group handed out twice";
    } else {
      auto it = held.begin();
      std::advance(it, rng() % held.size());
      nodes.releaseGroupLocked(*it);
      held.erase(it);
    }
  }
  EXPECT_EQ(nodes.freeCount, nodes.capacity() - 4 * held.size());
  // Walking the free list from the head reaches exactly the free groups, with matching back links.
  unsigned count = 0, prev = NO_NODE;
  for (unsigned g = nodes.freeHead; g != NO_NODE; g = nodes.nextLink(g)) {
    ASSERT_EQ(nodes.prevLink(g), prev);
    ASSERT_EQ(held.count(g), 0u);
    prev = g;
    ++count;
  }
  EXPECT_EQ(prev, nodes.freeTail);
  EXPECT_EQ(4 * count, nodes.freeCount);
}

TEST(NodePool, GridSlotsAreReused) {
  NodePool nodes;
  for (int k = 0; k < 3; ++k) EXPECT_EQ(nodes.takeGridSlot(), k);
  EXPECT_EQ(nodes.gridCapacity, 6);
  nodes.releaseGridSlot(1);
  EXPECT_EQ(nodes.takeGridSlot(), 1);
}

TEST(DataPool, NamesAreCutAtSixteenCharactersAndPrintWritesOneStatisticsLine) {
  NodePool nodes;
  FloatPool longName(&nodes, "regional level set");
  TreeDataPool<TreeFlags, unsigned, 4> flags(&nodes);
  EXPECT_STREQ(longName.name(), "regional level s");
  EXPECT_STREQ(flags.name(), "pool_flags");
  FloatPool pool(&nodes, "level set");
  nodes.growTo(1);
  char buffer[512] = {};
  std::FILE* stream = fmemopen(buffer, sizeof buffer, "w");
  pool.print(stream);
  std::fclose(stream);
  const std::string line(buffer);
  EXPECT_EQ(line.rfind("    level set        : base=", 0), 0u) << line;
  EXPECT_NE(line.find("commit=  262144 (    1.00 MB), reserved=268435584 ( 1024.00 MB)\n"), std::string::npos)
      << line;
}

// Address-space exhaustion: in a child process with a low limit, growth throws the integer 1 and
// leaves capacity, free list and pools as they were; lifting the limit makes the next growth work.
TEST(NodePoolDeathTest, ExhaustionThrowsAndChangesNothing) {
  EXPECT_EXIT(
      {
        NodePool nodes;
        FloatPool a(&nodes, "a");
        nodes.growTo(1024);
        const unsigned capacity = nodes.capacity();
        const unsigned free = nodes.freeCount;
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        const rlimit saved = limit;
        limit.rlim_cur = 512ull << 20;
        setrlimit(RLIMIT_AS, &limit);
        int code = 0;
        try {
          nodes.growTo(160u << 20);  // needs a new reservation beyond 1 GiB
        } catch (int c) {
          code = c;
        }
        const bool unchanged = nodes.capacity() == capacity && nodes.freeCount == free &&
                               a.capacityBytes / sizeof(float) >= capacity;
        setrlimit(RLIMIT_AS, &saved);
        nodes.growTo(160u << 20);
        std::exit(code == 1 && unchanged && nodes.capacity() >= (160u << 20) ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
