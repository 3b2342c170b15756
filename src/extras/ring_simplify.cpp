// Douglas-Peucker on closed rings with an explicit stack (rings can hold hundreds of thousands of
// vertices, too many for recursion).
#include "extras/ring_simplify.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace VELDRA_EXTRAS_CORE {
namespace {

// Squared distance from p to the segment ab, in double precision.
double SegmentDistance2(const PathPoint& p, const PathPoint& a, const PathPoint& b) {
  const double abx = double(b.x) - a.x, aby = double(b.y) - a.y;
  const double apx = double(p.x) - a.x, apy = double(p.y) - a.y;
  const double len2 = abx * abx + aby * aby;
  double t = len2 > 0.0 ? (apx * abx + apy * aby) / len2 : 0.0;
  t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
  const double dx = apx - t * abx, dy = apy - t * aby;
  return dx * dx + dy * dy;
}

class Simplifier {
 public:
  Simplifier(const Ring& ring, float tolerance)
      : ring_(ring), n_(ring.size()), limit2_(double(tolerance) * tolerance), keep_(n_, 0) {}

  Ring run() {
    std::size_t far = 0;
    double best = -1.0;
    for (std::size_t k = 1; k < n_; ++k) {
      const double d = SegmentDistance2(ring_[k], ring_[0], ring_[0]);
      if (d > best) best = d, far = k;
    }
    keep_[0] = keep_[far] = 1;
    chain(0, far, false);
    chain(far, n_, false);
    // A ring needs three vertices: split the longest remaining chain at its farthest vertex.
    if (kept() < 3) {
      const bool firstLonger = far > n_ - far;
      chain(firstLonger ? 0 : far, firstLonger ? far : n_, true);
    }
    Ring out;
    for (std::size_t k = 0; k < n_; ++k)
      if (keep_[k]) out.push_back(ring_[k]);
    return out;
  }

 private:
  const PathPoint& at(std::size_t k) const { return ring_[k == n_ ? 0 : k]; }

  std::size_t kept() const {
    std::size_t count = 0;
    for (std::uint8_t k : keep_) count += k;
    return count;
  }

  // Vertices strictly between a and b (b may be n_, the first vertex again); with `force` the
  // farthest of them is kept whatever its distance.
  void chain(std::size_t a, std::size_t b, bool force) {
    std::vector<std::pair<std::size_t, std::size_t>> pending{{a, b}};
    while (!pending.empty()) {
      const auto [s, e] = pending.back();
      pending.pop_back();
      if (e - s < 2) continue;
      std::size_t far = s + 1;
      double best = -1.0;
      for (std::size_t k = s + 1; k < e; ++k) {
        const double d = SegmentDistance2(ring_[k], at(s), at(e));
        if (d > best) best = d, far = k;
      }
      if (!force && best <= limit2_) continue;
      force = false;
      keep_[far] = 1;
      pending.push_back({s, far});
      pending.push_back({far, e});
    }
  }

  const Ring& ring_;
  std::size_t n_;
  double limit2_;
  std::vector<std::uint8_t> keep_;
};

}  // namespace

Ring SimplifyRing(const Ring& ring, float tolerance) {
  if (!(tolerance > 0.0f) || ring.size() <= 3) return ring;
  return Simplifier(ring, tolerance).run();
}

}  // namespace VELDRA_EXTRAS_CORE
