// Adaptive refinement: one pass decides, per leaf of a box of root tiles, whether it should be split
// (it lies at the front and is coarser than wanted) or may be merged into its parent, spreads splits
// so the tree stays graded across edges and corners, lets the ghost border follow the image border,
// then carries out every split and one level of merges. Splits reserve all child groups first (the
// allocator may move the pools), compute every new value on the unsplit tree, and only then link.
//
// Marks are set only by the box marking, by MarkSplit and by the ghost border, so every root tile
// where a mark is set is noted in the refinement workspace. A pass clears marks and collects splits and
// merges only in noted tiles, in row-major tile order and depth first inside a tile: the work lists
// and their order are those of walks over the whole tree, at the cost of the tiles a pass can touch.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "common/index_bounds.h"
#include "common/parallel_rows.h"
#include "grid/group_index_detail.h"
#include "grid/refinement_detail.h"
#include "grid/region_labels.h"
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

namespace {

std::size_t blockTiles(const SLGrid2D& grid) { return static_cast<std::size_t>(grid.si) * grid.sj; }

// True when the tile notes describe this block; until then marks are cleared over the whole tree.
bool notesValid(const SLGrid2D& grid) { return grid.hasBlock() && grid.refineWork.tilesMarked.size() == blockTiles(grid); }

// A tile where a mark is set is no longer quiet (its marks may differ from those kept).
void noteTileOfRoot(SLGrid2D& grid, unsigned root) {
  if (!notesValid(grid)) return;
  grid.refineWork.tilesMarked[root - grid.firstNode] = 1;
  if (grid.refineWork.ghostQuietAt.size() == grid.refineWork.tilesMarked.size()) grid.refineWork.ghostQuietAt[root - grid.firstNode] = 0;
}

void noteTileOf(SLGrid2D& grid, unsigned n) {
  while (grid.parent(n) != NO_NODE) n = grid.parent(n);
  noteTileOfRoot(grid, n);
}

bool tileNoted(const SLGrid2D& grid, int i, int j) { return grid.refineWork.tilesMarked[grid.rootIndex(i, j) - grid.firstNode] != 0; }

// ---- quiet ghost tiles ----
// A ghost tile's part of a pass (its marks, and the splits and merges they lead to) depends only on
// the topology of the tile and of the tiles around it (neighbour lookups, CanMerge's grading test) and
// on the split marks of the tile next to it towards the image. A tile is quiet after a pass that set
// its marks with no split mark in that neighbour tile, and in which nothing around it split or merged
// and so it neither split nor merged itself: its marks then are exactly what the next pass would set,
// and that pass would again split and merge nothing there, as long as no tile around it has changed,
// it carries no split mark and its neighbour tile towards the image no marks. Such a pass keeps the
// tile's marks instead of clearing and setting them again, and does not walk it. Should a split of the
// pass change the tiles around it, the tile is walked for merges like any other.
enum GhostStateBit : std::uint8_t {
  kStaleMerges = 1,    // the tile still carries merge marks that this pass did not clear
  kMarked = 2,         // this pass set the tile's marks
  kMarkedCleanly = 4,  // ... with no mark in the tile next to it towards the image
  kPassedOver = 8,     // this pass kept the tile's marks of a quiet earlier pass
};

bool ghostStateValid(const SLGrid2D& grid) {
  return notesValid(grid) && grid.refineWork.ghostQuietAt.size() == blockTiles(grid) && grid.refineWork.ghostState.size() == blockTiles(grid);
}

// The latest topology change in the 3 x 3 tiles around tile (i, j).
std::uint64_t aroundChangedAt(const SLGrid2D& grid, int i, int j) {
  std::uint64_t latest = 0;
  for (int b = std::max(j - 1, -grid.gj); b <= std::min(j + 1, static_cast<int>(grid.nj) + grid.gj - 1); ++b)
    for (int a = std::max(i - 1, -grid.gi); a <= std::min(i + 1, static_cast<int>(grid.ni) + grid.gi - 1); ++a)
      latest = std::max(latest, grid.tileChangedAt(a, b));
  return latest;
}

// Visits every ghost tile with its slot in the per-tile arrays.
template <typename F>
void forEachGhostTile(const SLGrid2D& grid, F&& visit) {
  for (int j = -grid.gj; j < static_cast<int>(grid.nj) + grid.gj; ++j)
    for (int i = -grid.gi; i < static_cast<int>(grid.ni) + grid.gi; ++i)
      if (!grid.isInteriorTile(i, j)) visit(i, j, grid.rootIndex(i, j) - grid.firstNode);
}

bool quiet(const SLGrid2D& grid, std::size_t t) { return grid.refineWork.ghostQuietAt[t] != 0; }

// Visits the root tiles noted so far, in the order of the whole-tree walks (rows outer).
template <typename F>
void forEachNotedTile(const SLGrid2D& grid, F&& visit) {
  const std::size_t count = grid.refineWork.tilesMarked.size();
  const std::uint8_t* noted = grid.refineWork.tilesMarked.data();
  for (std::size_t t = 0; t < count; ++t)
    if (noted[t] != 0) visit(grid.firstNode + static_cast<unsigned>(t));
}

// The roots of the noted tiles, in that order, into the workspace's notedRoots.
const std::vector<unsigned>& notedRoots(SLGrid2D& grid) {
  std::vector<unsigned>& roots = grid.refineWork.notedRoots;
  roots.clear();
  forEachNotedTile(grid, [&](unsigned root) { roots.push_back(root); });
  return roots;
}

// The per-tile list of root tile `root`, emptied.
std::vector<unsigned>& tileList(SLGrid2D& grid, unsigned root) {
  std::vector<std::vector<unsigned>>& lists = grid.refineWork.tileLists;
  if (lists.size() != blockTiles(grid)) lists.resize(blockTiles(grid));
  std::vector<unsigned>& list = lists[root - grid.firstNode];
  list.clear();
  return list;
}

// Runs visit(root, list) on the noted tiles in parallel, each with its own emptied list, then appends
// the lists to `out` in tile order: the order a walk over the tiles one after another would give.
// Each tile's visit may write only nodes of its own tile.
template <typename F>
void collectInNotedTiles(SLGrid2D& grid, std::vector<unsigned>& out, F&& visit) {
  const std::vector<unsigned>& roots = notedRoots(grid);
  for (unsigned root : roots) tileList(grid, root);  // sized and emptied before the threads start
  VELDRA_COMMON::parallelRows(0, static_cast<int>(roots.size()), [&](const tbb::blocked_range<int>& range) {
    for (int t = range.begin(); t != range.end(); ++t)
      visit(roots[t], grid.refineWork.tileLists[roots[t] - grid.firstNode]);
  });
  for (unsigned root : roots) {
    const std::vector<unsigned>& list = grid.refineWork.tileLists[root - grid.firstNode];
    out.insert(out.end(), list.begin(), list.end());
  }
}

// Runs visit(root) on the noted tiles in parallel; each may write only nodes of its own tile.
template <typename F>
void forEachNotedTileInParallel(SLGrid2D& grid, F&& visit) {
  const std::vector<unsigned>& roots = notedRoots(grid);
  VELDRA_COMMON::parallelRows(0, static_cast<int>(roots.size()), [&](const tbb::blocked_range<int>& range) {
    for (int t = range.begin(); t != range.end(); ++t) visit(roots[t]);
  });
}

// Takes `count` node groups into `groups`, or none: when the pools cannot grow part way, the groups
// already taken go back before the failure passes on, so none is left outside the tree.
void reserveGroups(SLGrid2D& grid, std::size_t count, std::vector<unsigned>& groups) {
  groups.reserve(count);  // push_back below cannot throw once a group is taken
  try {
    for (std::size_t k = 0; k < count; ++k) groups.push_back(grid.nodes.allocateGroup());
  } catch (...) {
    for (unsigned g : groups) grid.nodes.releaseGroupUnlocked(g);
    groups.clear();
    throw;
  }
}

// Values of every reserved child group, computed on the unsplit tree. Each split writes only its own
// group and its leaf's "temp" entry, and the groups are not linked yet, so no split reads another's.
void splitValuesInParallel(SLGrid2D& grid, const std::vector<unsigned>& leaves, const std::vector<unsigned>& groups) {
  VELDRA_COMMON::parallelRows(0, static_cast<int>(leaves.size()), [&](const tbb::blocked_range<int>& range) {
    for (int k = range.begin(); k != range.end(); ++k) grid.SplitValues(leaves[k], groups[k]);
  });
}

// Start of a pass: no node keeps a mark. Marks can only be in noted tiles, unless the notes do not
// describe this block yet; then the whole tree is cleared once.
void clearMarksOfLastPass(SLGrid2D& grid) {
  if (!notesValid(grid)) {
    grid.ClearRefineMarks();
    return;
  }
  const bool ghosts = ghostStateValid(grid);
  forEachNotedTileInParallel(grid, [&](unsigned root) {
    const std::size_t t = root - grid.firstNode;
    // A quiet ghost tile carries merge marks only, those this pass may keep.
    if (ghosts && quiet(grid, t)) {
      grid.refineWork.ghostState[t] |= kStaleMerges;
      return;
    }
    grid.walkSubtree(root, false, [&](unsigned n) {
      grid.flags(n).clear(TreeFlags::SPLIT_MARK);
      grid.flags(n).clear(TreeFlags::MERGE_MARK);
    });
    if (ghosts) grid.refineWork.ghostState[t] &= static_cast<std::uint8_t>(~kStaleMerges);
  });
  std::fill(grid.refineWork.tilesMarked.begin(), grid.refineWork.tilesMarked.end(), std::uint8_t{0});
  if (ghosts)
    for (std::uint8_t& state : grid.refineWork.ghostState) state &= kStaleMerges;
}

// MarkGhostTiles; with passOverQuiet, quiet ghost tiles keep their marks and are not walked.
void markGhostTiles(SLGrid2D& grid, bool passOverQuiet) {
  if (!grid.hasBlock()) return;
  const bool ghosts = ghostStateValid(grid);
  const auto markTile = [&](int i, int j, int d, Direction inward) {
    static constexpr int kStepI[4] = {-1, 1, 0, 0}, kStepJ[4] = {0, 0, -1, 1};
    const unsigned root = grid.rootIndex(i, j);
    if (ghosts) {
      const std::size_t t = root - grid.firstNode;
      const bool clean = d > 0 || !tileNoted(grid, i + kStepI[inward], j + kStepJ[inward]);
      if (passOverQuiet && clean && quiet(grid, t) && !tileNoted(grid, i, j) &&
          aroundChangedAt(grid, i, j) <= grid.refineWork.ghostQuietAt[t]) {
        grid.refineWork.ghostState[t] |= kPassedOver;
        return;
      }
      // Merge marks kept from an earlier pass go; split marks are all of this pass.
      if ((grid.refineWork.ghostState[t] & kStaleMerges) != 0)
        grid.walkSubtree(root, false, [&](unsigned n) { grid.flags(n).clear(TreeFlags::MERGE_MARK); });
      grid.refineWork.ghostState[t] = static_cast<std::uint8_t>(kMarked | (clean ? kMarkedCleanly : 0));
    }
    noteTileOfRoot(grid, root);
    grid.walkSubtree(root, true, [&](unsigned leaf) {
      if (d > 0) {
        grid.flags(leaf).set(TreeFlags::MERGE_MARK);
        return;
      }
      const unsigned nb = grid.neighbour(leaf, inward);
      if (nb == NO_NODE) return;
      if (grid.flags(nb).has(TreeFlags::GHOST)) {
        grid.flags(leaf).set(TreeFlags::MERGE_MARK);
        return;
      }
      const unsigned l = grid.level(leaf);
      const unsigned m = grid.level(nb) + (grid.flags(nb).has(TreeFlags::SPLIT_MARK) ? 1u : 0u);
      if (l + 1 == m) grid.MarkSplit(leaf);
      else if (l == m + 1) grid.flags(leaf).set(TreeFlags::MERGE_MARK);
    });
  };
  const int ni = static_cast<int>(grid.ni), nj = static_cast<int>(grid.nj);
  for (int i = -grid.gi; i < ni + grid.gi; ++i) {
    for (int d = 0; d < grid.gj; ++d) {
      markTile(i, -1 - d, d, DIR_PLUS_Y);
      markTile(i, nj + d, d, DIR_MINUS_Y);
    }
  }
  for (int j = 0; j < nj; ++j) {
    for (int d = 0; d < grid.gi; ++d) {
      markTile(-1 - d, j, d, DIR_PLUS_X);
      markTile(ni + d, j, d, DIR_MINUS_X);
    }
  }
}

// ApplyRefinement with its walks cut to the noted tiles. Splits are leaves with SPLIT_MARK; a merge
// needs four children with MERGE_MARK in the node's own tile. Both lie only in noted tiles, and the
// tiles are visited in the whole-tree order, so the lists come out in the same order.
void applyInNotedTiles(SLGrid2D& grid) {
  const std::uint64_t passStart = grid.topologyClock;
  markGhostTiles(grid, ghostStateValid(grid));
  std::vector<unsigned>& marked = grid.splitList;
  std::vector<unsigned>& groups = grid.groupList;
  marked.clear();
  groups.clear();
  collectInNotedTiles(grid, marked, [&](unsigned root, std::vector<unsigned>& list) {
    grid.walkSubtree(root, true, [&](unsigned n) {
      if (grid.flags(n).has(TreeFlags::SPLIT_MARK)) list.push_back(n);
    });
  });
  // Every group is reserved before any value is computed: allocation may move every pool.
  reserveGroups(grid, marked.size(), groups);
  splitValuesInParallel(grid, marked, groups);
  // The list holds exactly the marked leaves; linking one never changes another.
  for (unsigned n : marked) grid.linkChildren(n, group_index::load(grid.temp[n]));

  marked.clear();
  groups.clear();
  const bool ghosts = ghostStateValid(grid);
  // A quiet tile passed over whose surroundings the splits have changed may merge: it is walked.
  if (ghosts)
    forEachGhostTile(grid, [&](int i, int j, std::size_t t) {
      if ((grid.refineWork.ghostState[t] & kPassedOver) != 0 && aroundChangedAt(grid, i, j) > grid.refineWork.ghostQuietAt[t])
        noteTileOfRoot(grid, grid.firstNode + static_cast<unsigned>(t));
    });
  // A merge reads marks and topology, which no merge changes before the unlinking, and writes the
  // values of its own node, which no other merge reads.
  collectInNotedTiles(grid, marked, [&](unsigned root, std::vector<unsigned>& list) {
    grid.walkSubtree(root, false, [&](unsigned n) {
      if (!grid.flags(n).has(TreeFlags::SPLIT_MARK) && grid.CanMerge(n)) {
        grid.MergeValues(n);
        list.push_back(n);
      }
    });
  });
  for (unsigned n : marked) grid.unlinkChildren(n);
  if (!ghosts) return;
  // Which ghost tiles this pass leaves quiet.
  forEachGhostTile(grid, [&](int i, int j, std::size_t t) {
    const std::uint8_t state = grid.refineWork.ghostState[t];
    const std::uint64_t changed = aroundChangedAt(grid, i, j);
    if ((state & kMarked) != 0)
      grid.refineWork.ghostQuietAt[t] = (state & kMarkedCleanly) != 0 && changed <= passStart ? grid.topologyClock : 0;
    else if (changed > grid.refineWork.ghostQuietAt[t])
      grid.refineWork.ghostQuietAt[t] = 0;
  });
}

}  // namespace

namespace refinement {

float desiredLevel(const SLGrid2D& grid, float a, float r) {
  const float maxLevel = static_cast<float>(grid.maxLevel);
  const float q = static_cast<float>(grid.numLevelsPlus1);
  float target;
  if (grid.useRegional && a > r + q) target = (r + q) / std::exp2(q) < 1.5f ? maxLevel - q : 0.0f;
  else target = a < 1.5f ? maxLevel : 0.0f;
  const float desired = target - static_cast<float>(grid.numLevels);
  return desired > 0.0f ? desired : 0.0f;
}

// The leaves' own decisions run on quarters of tiles in parallel: each writes the merge mark of its own
// leaves and lists those that want splitting. The graded splits (MarkSplit, which marks leaves of
// other tiles) follow on one thread. The split marks that come out are the closure of the wanted
// leaves under the grading rule, which does not depend on the order of the wanted leaves; merge marks
// are per leaf; so the marks are those of one walk marking as it goes.
void markLeaves(SLGrid2D& grid, int i0, int j0, int i1, int j1) {
  static constexpr Direction kEdges[4] = {DIR_MINUS_X, DIR_PLUS_X, DIR_MINUS_Y, DIR_PLUS_Y};
  if (i0 >= i1 || j0 >= j1) return;
  const int width = i1 - i0;
  const std::size_t units = 4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(j1 - j0);
  std::vector<std::vector<unsigned>>& lists = grid.refineWork.wantedLists;
  if (lists.size() < units) lists.resize(units);
  for (std::size_t u = 0; u < units; ++u) lists[u].clear();
  for (int j = j0; j < j1; ++j)
    for (int i = i0; i < i1; ++i) noteTileOfRoot(grid, grid.rootIndex(i, j));
  VELDRA_COMMON::parallelTileQuadrants(i0, j0, i1, j1, [&](int i, int j, int q) {
    std::vector<unsigned>& wanted = lists[4 * (static_cast<std::size_t>(j - j0) * width + (i - i0)) + q];
    grid.forEachLeafInTileWithNeighbours(i, j, q, SLGrid2D::kChildrenInOrder,
                                         [&](unsigned n, float, float, float, const unsigned around[4]) {
      const float phi = grid.levelSet[n];
      const float r = grid.useRegional ? std::fabs(grid.regional[n]) : 0.0f;
      const float desired = desiredLevel(grid, std::fabs(phi), r);
      const unsigned level = grid.level(n);
      const float l = static_cast<float>(level);
      if (level < grid.maxLevel && desired - 0.51f > l) {
        wanted.push_back(n);
      } else {
        grid.flags(n).assign(TreeFlags::MERGE_MARK, l > desired + 0.51f);
      }
      // A leaf on whose edge the field changes sign (or is zero) keeps the front resolved.
      for (Direction d : kEdges) {
        const unsigned m = around[d];
        if (m != NO_NODE && phi * grid.levelSet[m] <= 0.0f) {
          grid.flags(n).clear(TreeFlags::MERGE_MARK);
          break;
        }
      }
    });
  });
  for (std::size_t u = 0; u < units; ++u)
    for (unsigned n : lists[u]) grid.MarkSplit(n);
}

}  // namespace refinement

namespace {

bool isLeaf(const SLGrid2D& grid, unsigned m) {
  return m != NO_NODE && !grid.hasChildren(m);
}

bool noGrandchildren(const SLGrid2D& grid, unsigned m) { return m == NO_NODE || !grid.hasGrandchildren(m); }

}  // namespace

void SLGrid2D::RefineGridForField(int i0, int j0, int i1, int j1) {
  std::printf("RefineGridForField: %i,%i,%i,%i,  ni,nj=%i,%i\n", i0, j0, i1, j1, static_cast<int>(ni),
              static_cast<int>(nj));
  if (!hasBlock()) return;
  clearMarksOfLastPass(*this);
  // Boxes reaching beyond the interior tiles are outside the contract; they are cut to it.
  using VELDRA_COMMON::clampToCount;
  i0 = clampToCount(i0, ni);
  i1 = clampToCount(i1, ni);
  j0 = clampToCount(j0, nj);
  j1 = clampToCount(j1, nj);
  if (j0 < j1) refinement::markLeaves(*this, i0, j0, i1, j1);
  applyInNotedTiles(*this);
  // The ROOT bits need no refresh: linked children never carry the bit and merges only unlink, so
  // ROOT still marks exactly the root tiles, as a refresh over the whole tree would leave it.
}

void SLGrid2D::ClearRefineMarks() {
  walk(Walk::AllNodes, [&](unsigned n) {
    flags(n).clear(TreeFlags::SPLIT_MARK);
    flags(n).clear(TreeFlags::MERGE_MARK);
  });
  if (hasBlock()) {
    refineWork.tilesMarked.assign(blockTiles(*this), 0);
    refineWork.ghostQuietAt.assign(blockTiles(*this), 0);
    refineWork.ghostState.assign(blockTiles(*this), 0);
  }
}

void SLGrid2D::MarkSplit(unsigned n) {
  if (flags(n).has(TreeFlags::SPLIT_MARK)) return;
  const auto markIfLeaf = [&](unsigned m) {
    if (isLeaf(*this, m)) MarkSplit(m);
  };
  for (;;) {
    flags(n).set(TreeFlags::SPLIT_MARK);
    noteTileOf(*this, n);
    const unsigned p = parent(n);
    if (p == NO_NODE) return;
    // n's children will lie two levels below p: the leaves around p (edges and corners) follow.
    const unsigned a = neighbour(p, DIR_MINUS_X);
    const unsigned b = neighbour(p, DIR_PLUS_X);
    markIfLeaf(a);
    markIfLeaf(b);
    markIfLeaf(neighbour(p, DIR_MINUS_Y));
    markIfLeaf(neighbour(p, DIR_PLUS_Y));
    if (a != NO_NODE) {
      markIfLeaf(neighbour(a, DIR_MINUS_Y));
      markIfLeaf(neighbour(a, DIR_PLUS_Y));
    }
    if (b == NO_NODE) return;
    markIfLeaf(neighbour(b, DIR_MINUS_Y));
    const unsigned m = neighbour(b, DIR_PLUS_Y);
    if (m == NO_NODE || hasChildren(m) || flags(m).has(TreeFlags::SPLIT_MARK)) return;
    n = m;
  }
}

void SLGrid2D::MarkGhostTiles() { markGhostTiles(*this, false); }

void SLGrid2D::ApplyRefinement() {
  if (!hasBlock()) return;
  MarkGhostTiles();
  std::vector<unsigned>& marked = splitList;
  std::vector<unsigned>& groups = groupList;
  marked.clear();
  groups.clear();
  walk(Walk::AllLeaves, [&](unsigned n) {
    if (flags(n).has(TreeFlags::SPLIT_MARK)) marked.push_back(n);
  });
  // Every group is reserved before any value is computed: allocation may move every pool.
  reserveGroups(*this, marked.size(), groups);
  splitValuesInParallel(*this, marked, groups);
  walk(Walk::AllLeaves, [&](unsigned n) {
    if (flags(n).has(TreeFlags::SPLIT_MARK)) linkChildren(n, group_index::load(temp[n]));
  });

  marked.clear();
  groups.clear();
  walk(Walk::AllNodes, [&](unsigned n) {
    if (!flags(n).has(TreeFlags::SPLIT_MARK) && CanMerge(n)) {
      MergeValues(n);
      marked.push_back(n);
    }
  });
  for (unsigned n : marked) unlinkChildren(n);
}

void SLGrid2D::SplitValues(unsigned n, unsigned g) {
  static constexpr float kOffsets[4][2] = {{-0.25f, -0.25f}, {0.25f, -0.25f}, {-0.25f, 0.25f}, {0.25f, 0.25f}};
  group_index::store(temp[n], g);
  for (unsigned c = 0; c < 4; ++c) {
    const float dx = kOffsets[c][0], dy = kOffsets[c][1];
    if (useRegional) {
      levelSet[g + c] = InterpolateAt(n, dx, dy, &regional[g + c], &region[g + c]);
    } else {
      levelSet[g + c] = InterpolateChannel(n, levelSet.data(), dx, dy);
      regional[g + c] = kUntouchedValue;
      region[g + c] = REGION_UNSET;
    }
  }
}

bool SLGrid2D::CanMerge(unsigned n) const {
  const unsigned c = child0(n);
  if (c == NO_NODE) return false;
  for (unsigned k = 0; k < 4; ++k)
    if (hasChildren(c + k) || !flags(c + k).has(TreeFlags::MERGE_MARK)) return false;
  // After the merge no leaf next to n's cell, across an edge or a corner, may be two levels finer.
  const unsigned a = neighbour(n, DIR_MINUS_X);
  const unsigned b = neighbour(n, DIR_PLUS_X);
  const unsigned cy = neighbour(n, DIR_MINUS_Y);
  const unsigned d = neighbour(n, DIR_PLUS_Y);
  if (a != NO_NODE) {
    if (!noGrandchildren(*this, a) || !noGrandchildren(*this, neighbour(a, DIR_MINUS_Y)) ||
        !noGrandchildren(*this, neighbour(a, DIR_PLUS_Y)))
      return false;
  }
  if (b != NO_NODE) {
    if (!noGrandchildren(*this, b) || !noGrandchildren(*this, neighbour(b, DIR_MINUS_Y)) ||
        !noGrandchildren(*this, neighbour(b, DIR_PLUS_Y)))
      return false;
  }
  return noGrandchildren(*this, cy) && noGrandchildren(*this, d);
}

void SLGrid2D::MergeValues(unsigned n) {
  const unsigned c = child0(n);
  levelSet[n] = (levelSet[c + 1] + levelSet[c] + levelSet[c + 2] + levelSet[c + 3]) * 0.25f;
  if (!useRegional) return;
  // Labels in order of first appearance among the children, each weighted by a quarter of the
  // regional values carrying it; the first of equal weights wins.
  unsigned char labels[4];
  float weights[4];
  int count = 0;
  for (unsigned k = 0; k < 4; ++k) {
    const unsigned char label = region[c + k];
    int slot = 0;
    while (slot < count && labels[slot] != label) ++slot;
    if (slot == count) {
      labels[count] = label;
      weights[count] = 0.0f;
      ++count;
    }
    weights[slot] += 0.25f * regional[c + k];
  }
  const LabelWinner w = pickLabelWinner(labels, weights, count);
  regional[n] = w.best - w.second;
  region[n] = w.label;
}

}  // namespace VELDRA_TRW
