// Node allocator and data pools: growth keeps every registered pool in step with the nodes and keeps
// their data, and the free list hands out and takes back groups in its documented order under any
// sequence of use, keeping its count and links consistent.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "storage/tree_node_pool.h"

using namespace VELDRA_TRW;

namespace {

using NodePool = TreeNodePool<unsigned, 4>;
using FloatPool = TreeDataPool<float, unsigned, 4>;

TEST(NodePool, GrowthSizesEveryRegisteredPoolAndKeepsData) {
  NodePool nodes;
  FloatPool a(&nodes, "a");
  nodes.growTo(10);
  EXPECT_EQ(nodes.capacity(), 131072u);  // one 1 MiB commit step at 8 bytes per node
  for (unsigned i = 0; i < nodes.capacity(); ++i) ASSERT_EQ(a[i], 0.0f);  // committed pages read zero
  a[5] = 3.5f;
  nodes.growTo(3 * nodes.capacity());
  EXPECT_EQ(a[5], 3.5f);
  EXPECT_GE(a.capacityBytes / sizeof(float), nodes.capacity());
  const FloatPool late(&nodes, "late");  // a pool created after nodes exist starts at full capacity
  EXPECT_GE(late.capacityBytes / sizeof(float), nodes.capacity());
}

// A run comes from the head, groups follow it; the last released group is reused first, a released
// run sits in ascending order at the front; random use never hands a group out twice and keeps the
// free count and the doubly linked free list exact.
TEST(NodePool, FreeListOrderAndConsistencyUnderRandomUse) {
  NodePool nodes;
  EXPECT_EQ(nodes.allocateRun(25), 0u);
  EXPECT_EQ(nodes.allocateGroupLocked(), 28u);
  nodes.releaseGroupLocked(28);
  EXPECT_FALSE(nodes.isUsedGroup(28));
  EXPECT_EQ(nodes.allocateGroup(), 28u);
  nodes.releaseRun(0, 25);
  for (unsigned g = 0; g < 28; g += 4) EXPECT_EQ(nodes.allocateGroup(), g);
  std::mt19937 rng(7);
  std::set<unsigned> held;
  for (int step = 0; step < 20000; ++step) {
    if (held.empty() || rng() % 3 != 0) {
      ASSERT_TRUE(held.insert(nodes.allocateGroup()).second) << "group handed out twice";
    } else {
      auto it = std::next(held.begin(), static_cast<long>(rng() % held.size()));
      nodes.releaseGroupLocked(*it);
      held.erase(it);
    }
  }
  EXPECT_EQ(nodes.freeCount, nodes.capacity() - 4 * held.size() - 32);
  unsigned count = 0, prev = NO_NODE;
  for (unsigned g = nodes.freeHead; g != NO_NODE; g = nodes.nextLink(g), ++count) {
    ASSERT_TRUE(nodes.prevLink(g) == prev && held.count(g) == 0 && g % 4 == 0);
    prev = g;
  }
  EXPECT_EQ(prev, nodes.freeTail);
  EXPECT_EQ(4 * count, nodes.freeCount);
}

}  // namespace
