// Refinement passes, which clear, collect and refresh only in the root tiles where marks were set,
// against a plain pass written here with walks over the whole tree: two grids built alike run the
// same random sequences of seeded masks, field shifts, box passes (empty and out-of-range boxes
// included), full passes and image resizes, and must agree after every pass on the trace line, the
// topology and node indices, every channel value bit for bit, the flags and the merge list.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "grid/group_index_detail.h"
#include "grid/refinement_detail.h"
#include "support/harness.h"
#include "support/seeding_checks.h"

using namespace VELDRA_TRW;
using namespace veldra_test;

namespace {

// One pass with every step over the whole tree: clear all marks, mark the box, ghost marks, collect
// splits over all leaves, reserve, compute, link, collect merges over all nodes, refresh ROOT bits.
void wholeTreePass(SLGrid2D& g, int i0, int j0, int i1, int j1) {
  std::printf("RefineGridForField: %i,%i,%i,%i,  ni,nj=%i,%i\n", i0, j0, i1, j1, static_cast<int>(g.ni),
              static_cast<int>(g.nj));
  if (!g.hasBlock()) return;
  g.walk(Walk::AllNodes, [&](unsigned n) {
    g.flags(n).clear(TreeFlags::SPLIT_MARK);
    g.flags(n).clear(TreeFlags::MERGE_MARK);
  });
  const auto clampTo = [](int v, std::uint32_t n) { return v < 0 ? 0 : std::min(v, static_cast<int>(n)); };
  i0 = clampTo(i0, g.ni);
  i1 = clampTo(i1, g.ni);
  j0 = clampTo(j0, g.nj);
  j1 = clampTo(j1, g.nj);
  if (j0 < j1) refinement::markLeaves(g, i0, j0, i1, j1);
  g.MarkGhostTiles();
  std::vector<unsigned>& marked = g.splitList[0];
  std::vector<unsigned>& groups = g.groupList[0];
  marked.clear();
  groups.clear();
  g.walk(Walk::AllLeaves, [&](unsigned n) {
    if (g.flags(n).has(TreeFlags::SPLIT_MARK)) marked.push_back(n);
  });
  for (std::size_t k = 0; k < marked.size(); ++k) groups.push_back(g.nodes.allocateGroup());
  for (std::size_t k = 0; k < marked.size(); ++k) g.SplitValues(marked[k], groups[k]);
  g.walk(Walk::AllLeaves, [&](unsigned n) {
    if (g.flags(n).has(TreeFlags::SPLIT_MARK)) g.linkChildren(n, group_index::load(g.temp[n]));
  });
  marked.clear();
  groups.clear();
  g.walk(Walk::AllNodes, [&](unsigned n) {
    if (!g.flags(n).has(TreeFlags::SPLIT_MARK) && g.CanMerge(n)) {
      g.MergeValues(n);
      marked.push_back(n);
    }
  });
  for (unsigned n : marked) g.unlinkChildren(n);
  g.updateRootFlags();
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The grids differ only in their root-grid slot, which sits in the top byte of every flag word.
constexpr std::uint32_t kFlagsWithoutSlot = (1u << TreeFlags::GRID_INDEX_SHIFT) - 1u;

// Empty when the grids agree; otherwise the first difference.
std::string firstDifference(const SLGrid2D& a, const SLGrid2D& b) {
  if (a.ni != b.ni || a.nj != b.nj || a.rootBase != b.rootBase) return "root grids differ";
  std::vector<unsigned> na, nb;
  a.walk(Walk::AllNodes, [&](unsigned n) { na.push_back(n); });
  b.walk(Walk::AllNodes, [&](unsigned n) { nb.push_back(n); });
  if (na != nb) return "node sequences differ (" + std::to_string(na.size()) + " vs " + std::to_string(nb.size()) + ")";
  for (unsigned n : na) {
    const std::string at = " at node " + std::to_string(n);
    if (a.child0(n) != b.child0(n) || a.parent(n) != b.parent(n)) return "links" + at;
    if ((a.flags(n).bits & kFlagsWithoutSlot) != (b.flags(n).bits & kFlagsWithoutSlot)) return "flags" + at;
    if (!sameBits(a.levelSet[n], b.levelSet[n]) || !sameBits(a.temp[n], b.temp[n])) return "level set or temp" + at;
    if (!sameBits(a.temp2[n], b.temp2[n]) || !sameBits(a.regional[n], b.regional[n])) return "temp2 or regional" + at;
    if (a.region[n] != b.region[n] || a.regionTmp[n] != b.regionTmp[n]) return "labels" + at;
  }
  if (a.splitList[0] != b.splitList[0]) return "merge lists differ";
  return {};
}

// A mask of a few discs and rectangles, some of them running over the image border.
std::vector<unsigned char> randomMask(std::mt19937& rng, int w, int h) {
  std::vector<unsigned char> mask(static_cast<std::size_t>(w) * h, 0);
  std::uniform_real_distribution<float> ux(-0.1f * w, 1.1f * w), uy(-0.1f * h, 1.1f * h), ur(3.0f, 0.3f * w);
  const int shapes = std::uniform_int_distribution<int>(1, 4)(rng);
  for (int s = 0; s < shapes; ++s) {
    const float cx = ux(rng), cy = uy(rng), r = ur(rng);
    const bool disc = rng() & 1u;
    const unsigned char value = (s > 0 && (rng() % 3 == 0)) ? 0 : 255;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const float dx = static_cast<float>(x) - cx, dy = static_cast<float>(y) - cy;
        const bool in = disc ? dx * dx + dy * dy < r * r : std::fabs(dx) < r && std::fabs(dy) < 0.6f * r;
        if (in) mask[static_cast<std::size_t>(y) * w + x] = value;
      }
  }
  return mask;
}

struct Pair {
  std::unique_ptr<SLGrid2D> fast, plain;
  int w = 0, h = 0;
};

void resize(Pair& p, std::mt19937& rng) {
  p.w = std::uniform_int_distribution<int>(200, 1400)(rng);
  p.h = std::uniform_int_distribution<int>(200, 1100)(rng);
  p.fast->setImageSize(static_cast<std::uint32_t>(p.w), static_cast<std::uint32_t>(p.h));
  p.plain->setImageSize(static_cast<std::uint32_t>(p.w), static_cast<std::uint32_t>(p.h));
}

void seed(Pair& p, std::mt19937& rng) {
  const std::vector<unsigned char> mask = randomMask(rng, p.w, p.h);
  p.fast->InitFromMask(0, 0, p.w, p.h, mask.data(), p.w);
  p.plain->InitFromMask(0, 0, p.w, p.h, mask.data(), p.w);
}

// Moves the front: the same shift of every value on both grids, so that passes split and merge.
void shiftField(Pair& p, float by) {
  for (SLGrid2D* g : {p.fast.get(), p.plain.get()}) g->walk(Walk::AllNodes, [&](unsigned n) { g->levelSet[n] += by; });
}

void useRegional(Pair& p, float scale) {
  for (SLGrid2D* g : {p.fast.get(), p.plain.get()}) {
    g->useRegional = 1;
    fillField(*g, g->regional, [&](float x, float y) { return std::fabs(std::sin(x * scale) * 30.0f + y * 0.01f); });
    fillField(*g, g->region,
              [&](float x, float y) { return static_cast<unsigned char>(static_cast<int>(x + y) / 97 % 3); });
  }
}

struct Counts {
  int passes = 0, merges = 0, splits = 0;
};

// One pass on both grids; false (with a failure recorded) when they disagree afterwards.
bool passBoth(Pair& p, int i0, int j0, int i1, int j1, Counts& counts) {
  const std::size_t nodesBefore = countNodes(*p.fast);
  EXPECT_EQ(capturedStdout([&] { p.fast->RefineGridForField(i0, j0, i1, j1); }),
            capturedStdout([&] { wholeTreePass(*p.plain, i0, j0, i1, j1); }));
  const std::string diff = firstDifference(*p.fast, *p.plain);
  const std::size_t nodesAfter = countNodes(*p.fast);
  ++counts.passes;
  counts.merges += static_cast<int>(p.fast->splitList[0].size());
  if (nodesAfter + 4 * p.fast->splitList[0].size() > nodesBefore) ++counts.splits;
  if (!diff.empty()) {
    ADD_FAILURE() << "box " << i0 << "," << j0 << "," << i1 << "," << j1 << ": " << diff;
    return false;
  }
  EXPECT_TRUE(p.fast->checkGrading());
  return true;
}

// A random sequence of operations; returns what the passes did.
Counts runSequence(std::uint32_t seedValue, int steps) {
  std::mt19937 rng(seedValue);
  Pair p{std::make_unique<SLGrid2D>(), std::make_unique<SLGrid2D>()};
  resize(p, rng);
  seed(p, rng);
  Counts counts;
  for (int s = 0; s < steps; ++s) {
    const int ni = static_cast<int>(p.fast->ni), nj = static_cast<int>(p.fast->nj);
    const unsigned op = rng() % 16;
    if (op == 0) {
      resize(p, rng);
      seed(p, rng);
    } else if (op == 1) {
      seed(p, rng);
    } else if (op == 2) {
      shiftField(p, std::uniform_real_distribution<float>(-60.0f, 60.0f)(rng));
    } else if (op == 3 && !p.fast->useRegional) {
      useRegional(p, std::uniform_real_distribution<float>(0.005f, 0.05f)(rng));
    } else if (op < 7) {
      if (!passBoth(p, 0, 0, ni, nj, counts)) return counts;
    } else {
      // Boxes mostly inside the tiles, now and then empty, reversed or beyond the image.
      std::uniform_int_distribution<int> ui(-1, ni + 1), uj(-1, nj + 1);
      const int i0 = ui(rng), j0 = uj(rng);
      const int i1 = std::uniform_int_distribution<int>(i0 - 1, i0 + 3)(rng);
      const int j1 = std::uniform_int_distribution<int>(j0 - 1, j0 + 3)(rng);
      if (!passBoth(p, i0, j0, i1, j1, counts)) return counts;
    }
  }
  return counts;
}

TEST(RefinementEquivalence, PassesInMarkedTilesMatchWholeTreePasses) {
  Counts total;
  for (std::uint32_t seedValue = 1; seedValue <= 12; ++seedValue) {
    SCOPED_TRACE("seed " + std::to_string(seedValue));
    const Counts c = runSequence(seedValue, 60);
    total.passes += c.passes;
    total.merges += c.merges;
    total.splits += c.splits;
    if (HasFailure()) return;
  }
  // The sequences must exercise both directions of change, or the comparison proves little.
  EXPECT_GT(total.passes, 300);
  EXPECT_GT(total.merges, 100);
  EXPECT_GT(total.splits, 50);
}

// Marks set outside a pass (MarkSplit called directly) and a whole-tree clear in between leave the
// next passes equal to whole-tree passes.
TEST(RefinementEquivalence, MarksSetOutsideAPassAreClearedByTheNext) {
  std::mt19937 rng(77);
  Pair p{std::make_unique<SLGrid2D>(), std::make_unique<SLGrid2D>()};
  resize(p, rng);
  seed(p, rng);
  Counts counts;
  for (int round = 0; round < 6; ++round) {
    std::vector<unsigned> leaves = allLeaves(*p.fast);
    const unsigned n = leaves[rng() % leaves.size()];
    if (p.fast->level(n) < p.fast->maxLevel) {
      p.fast->MarkSplit(n);
      p.plain->MarkSplit(n);
    }
    if (round % 2 == 1) {
      p.fast->ClearRefineMarks();
      p.plain->ClearRefineMarks();
    }
    const int ni = static_cast<int>(p.fast->ni), nj = static_cast<int>(p.fast->nj);
    ASSERT_TRUE(passBoth(p, round % ni, 0, round % ni + 1, nj, counts));
    ASSERT_TRUE(passBoth(p, 0, 0, ni, nj, counts));
  }
}

}  // namespace

// The same for a mark set outside a pass in a ghost tile that passes have left alone (passes keep the
// marks of such tiles instead of setting them again).
TEST(RefinementEquivalence, MarksSetOutsideAPassInGhostTilesAreClearedByTheNext) {
  std::mt19937 rng(78);
  Pair p{std::make_unique<SLGrid2D>(), std::make_unique<SLGrid2D>()};
  resize(p, rng);
  seed(p, rng);
  Counts counts;
  const int ni = static_cast<int>(p.fast->ni), nj = static_cast<int>(p.fast->nj);
  ASSERT_TRUE(passBoth(p, 0, 0, ni, nj, counts));
  for (int round = 0; round < 8; ++round) {
    std::vector<unsigned> ghosts;
    p.fast->walk(Walk::AllLeaves, [&](unsigned n) {
      if (p.fast->flags(n).has(TreeFlags::GHOST) && p.fast->level(n) < p.fast->maxLevel) ghosts.push_back(n);
    });
    if (round % 2 == 1) {
      const unsigned n = ghosts[rng() % ghosts.size()];
      p.fast->MarkSplit(n);
      p.plain->MarkSplit(n);
    }
    ASSERT_TRUE(passBoth(p, ni / 2, nj / 2, ni / 2 + 1, nj / 2 + 1, counts));
  }
}
