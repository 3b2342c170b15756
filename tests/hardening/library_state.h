// Test helpers for the hardening tests: put the library into a known state (not loaded, engine
// without grid, a seeded selection), and take a fingerprint of everything a call could change so
// that a refused call can be shown to have changed nothing.
#pragma once
#include <bit>
#include <cstdint>
#include <vector>

#include <veldra/veldra.h>

#include "api/engine.h"
#include "fuzz/api_script.h"
#include "support/host.h"
#include "support/tree.h"

namespace veldra_hardening {

enum class State { NotLoaded, NoGrid, Seeded };

inline constexpr int kImageWidth = 300;
inline constexpr int kImageHeight = 200;

// A 300 x 200 image with a disc of radius 60 selected and one add step taken at its rim.
inline void enterState(State state) {
  veldra_fuzz::resetLibrary();
  if (state == State::NotLoaded) return;
  veldra_test::defaultParameters();
  VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, kImageWidth, kImageHeight, state == State::NoGrid);
  if (state == State::NoGrid) return;
  const veldra_test::Shape object = veldra_test::disc(150, 100, 60);
  veldra_test::seedSelection(kImageWidth, kImageHeight, object);
  const veldra_test::RgbaImage img =
      veldra_test::render(kImageWidth, kImageHeight, object, {220, 190, 40}, {30, 60, 140});
  veldra_test::SnapField snap;
  VELDRA::MouseDown();
  veldra_test::hostStep(img, VELDRA::EDITMODE_ADD, 0, 210, 100, snap);
  VELDRA::MouseUp();
}

// Everything observable that a call could change: library state, engine fields, node accounting,
// tree and channels. Equal fingerprints: no call can tell the two libraries apart.
using Fingerprint = std::vector<std::uint32_t>;

inline Fingerprint fingerprint() {
  const VELDRA_CORE::LibraryState& lib = VELDRA_CORE::library();
  Fingerprint f{lib.regionalStroke};
  f.insert(f.end(), lib.parameters, lib.parameters + 5);
  const VELDRA_CORE::SLMain* e = lib.engine;
  if (e == nullptr) return f;
  f.insert(f.end(), {1u, static_cast<std::uint32_t>(e->operation), static_cast<std::uint32_t>(e->width),
                     static_cast<std::uint32_t>(e->height)});
  for (const float v : {e->mattingRadius, e->brushX, e->brushY, e->lineStartX, e->lineStartY, e->innerRadius,
                        e->brushRadius, e->smoothing, e->edgeSnap, e->spare})
    f.push_back(std::bit_cast<std::uint32_t>(v));
  if (e->grid == nullptr) return f;
  const VELDRA_TRW::SLGrid2D& g = *e->grid;
  f.insert(f.end(), {2u, g.nodes.capacity() - g.nodes.freeCount, g.useRegional});
  const std::vector<std::uint32_t> tree = veldra_test::treeBits(g);
  f.insert(f.end(), tree.begin(), tree.end());
  return f;
}

}  // namespace veldra_hardening
