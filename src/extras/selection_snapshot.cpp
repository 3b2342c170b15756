// Taking and putting back the selection state. The free list is restored exactly: the links of the
// groups below the snapshot's usedEnd are copied, and every group from there up is relinked as the
// ascending end of the list, which it is in any state that grew from the snapshot's. Node indices
// handed out after a restore are therefore the ones handed out after the snapshot was taken.
#include "extras/selection_snapshot.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace VELDRA_EXTRAS_CORE {
namespace {

using VELDRA_TRW::NO_NODE;
using VELDRA_TRW::SLGrid2D;

struct PoolView {
  unsigned char* data;
  std::size_t entryBytes;
};

// The grid's per-node pools, in registration order.
constexpr int kPoolCount = 9;
std::array<PoolView, kPoolCount> Pools(const SLGrid2D& g) {
  const auto view = [](const auto& pool) {
    return PoolView{pool.rawData, sizeof(*pool.data())};
  };
  return {view(g.child0Pool), view(g.parentPool), view(g.flagsPool), view(g.levelSet), view(g.temp),
          view(g.temp2),      view(g.regional),   view(g.region),    view(g.regionTmp)};
}

// Bytes per node of all pools, and of the free-list links (two words per group of four).
std::size_t EntryBytes() {
  return 3 * sizeof(unsigned) + 4 * sizeof(float) + 2 * sizeof(unsigned char) + 2 * sizeof(std::uint32_t) / 4;
}

}  // namespace

SelectionSnapshot::Shape SelectionSnapshot::shapeOf(const SLGrid2D& g) {
  return Shape{g.imageWidth, g.imageHeight, g.ni, g.nj, g.firstNode, g.rootBase, g.gridIndex, g.nodes.count};
}

SelectionSnapshot::SelectionSnapshot(const SLGrid2D& g)
    : shape_(shapeOf(g)), usedEnd_(g.nodes.usedEnd), freeHead_(g.nodes.freeHead), useRegional_(g.useRegional),
      tilesMarked_(g.refineWork.tilesMarked), topologyClock_(g.topologyClock),
      tileTopologyChanged_(g.tileTopologyChanged), ghostQuietAt_(g.refineWork.ghostQuietAt),
      ghostState_(g.refineWork.ghostState),
      dataBytes_(static_cast<std::size_t>(g.nodes.usedEnd) * EntryBytes()) {
  const std::uint32_t capacity = g.nodes.capacity();
  belowFree_ = g.nodes.freeCount - (capacity - usedEnd_);
  belowLast_ = usedEnd_ < capacity ? g.nodes.prevLink(usedEnd_) : g.nodes.freeTail;
  data_.reset(new unsigned char[dataBytes_]);
  unsigned char* out = data_.get();
  for (const PoolView& p : Pools(g)) {
    std::memcpy(out, p.data, usedEnd_ * p.entryBytes);
    out += usedEnd_ * p.entryBytes;
  }
  std::memcpy(out, g.nodes.rawData, static_cast<std::size_t>(usedEnd_) * 2);
}

bool SelectionSnapshot::fits(const SLGrid2D& g) const {
  return shapeOf(g) == shape_ && shape_.pools == kPoolCount;
}

void SelectionSnapshot::restoreInto(SLGrid2D& g) const {
  auto& nodes = g.nodes;
  // The two steps that can fail come first, while the grid is still as it was.
  if (nodes.capacity() < usedEnd_) nodes.growTo(usedEnd_);
  g.refineWork.tilesMarked = tilesMarked_;
  g.tileTopologyChanged = tileTopologyChanged_;
  g.refineWork.ghostQuietAt = ghostQuietAt_;
  g.refineWork.ghostState = ghostState_;
  // The stamps are compared only with each other and with clock values taken later, so the clock
  // never goes back: a grid built after the snapshot may have counted less far.
  g.topologyClock = std::max(g.topologyClock, topologyClock_);
  // The refresh's copy lists were made for the topology being replaced and carry later stamps than
  // the restored tiles: they are dropped and listed again at the next refresh.
  g.boundaryPlan = {};
  const std::uint32_t capacity = nodes.capacity(), current = nodes.usedEnd;
  // Entries used since the snapshot go back to their never-used state.
  const unsigned char* in = data_.get();
  for (const PoolView& p : Pools(g)) {
    if (current > usedEnd_) std::memset(p.data + usedEnd_ * p.entryBytes, 0, (current - usedEnd_) * p.entryBytes);
    std::memcpy(p.data, in, usedEnd_ * p.entryBytes);
    in += usedEnd_ * p.entryBytes;
  }
  std::memcpy(nodes.rawData, in, static_cast<std::size_t>(usedEnd_) * 2);
  // Groups from usedEnd up: those used since then relinked in ascending order, joined to the
  // never-used rest, which is ascending already.
  const std::uint32_t relinkEnd = std::max(usedEnd_, current);
  std::uint32_t previous = belowLast_;
  const auto append = [&](std::uint32_t group) {
    nodes.prevLink(group) = previous;
    if (previous != NO_NODE) nodes.nextLink(previous) = group;
    previous = group;
  };
  for (std::uint32_t group = usedEnd_; group < relinkEnd; group += 4) append(group);
  if (relinkEnd < capacity) append(relinkEnd);  // its own link onward is intact
  else if (previous != NO_NODE) nodes.nextLink(previous) = NO_NODE;
  nodes.freeTail = usedEnd_ < capacity ? capacity - 4 : belowLast_;
  nodes.freeHead = freeHead_ != NO_NODE && freeHead_ < usedEnd_ ? freeHead_ : (usedEnd_ < capacity ? usedEnd_ : NO_NODE);
  nodes.freeCount = belowFree_ + (capacity - usedEnd_);
  nodes.usedEnd = usedEnd_;
  g.useRegional = useRegional_;
}

std::size_t SelectionSnapshot::bytes() const {
  return sizeof(*this) + dataBytes_ + tilesMarked_.capacity() + ghostState_.capacity() +
         sizeof(std::uint64_t) * (tileTopologyChanged_.capacity() + ghostQuietAt_.capacity());
}

}  // namespace VELDRA_EXTRAS_CORE
