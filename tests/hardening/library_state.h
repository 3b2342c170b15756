// Test helpers for the hardening tests: put the library into a known state (not loaded, engine
// without grid, a seeded selection), and take a fingerprint of everything a call could change so
// that a refused call can be shown to have changed nothing.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include <veldra/veldra.h>

#include "api/engine.h"
#include "fuzz/api_script.h"
#include "support/synthetic_images.h"

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

// Everything observable that a call could change: library state, engine fields, tree and channels.
struct Fingerprint {
  bool engine = false, grid = false, regionalStroke = false;
  std::int32_t parameters[5] = {};
  std::int32_t operation = 0, width = 0, height = 0;
  float record[10] = {};
  unsigned usedNodes = 0;
  std::uint64_t tree = 0;
  bool operator==(const Fingerprint& o) const {
    return engine == o.engine && grid == o.grid && regionalStroke == o.regionalStroke &&
           std::memcmp(parameters, o.parameters, sizeof parameters) == 0 && operation == o.operation &&
           width == o.width && height == o.height && std::memcmp(record, o.record, sizeof record) == 0 &&
           usedNodes == o.usedNodes && tree == o.tree;
  }
};

inline Fingerprint fingerprint() {
  const VELDRA_CORE::LibraryState& lib = VELDRA_CORE::library();
  Fingerprint f;
  f.regionalStroke = lib.regionalStroke;
  std::memcpy(f.parameters, lib.parameters, sizeof f.parameters);
  const VELDRA_CORE::SLMain* e = lib.engine;
  f.engine = e != nullptr;
  if (e == nullptr) return f;
  f.operation = e->operation;
  f.width = e->width;
  f.height = e->height;
  const float record[10] = {e->mattingRadius, e->brushX,      e->brushY,   e->lineStartX, e->lineStartY,
                            e->innerRadius,   e->brushRadius, e->smoothing, e->edgeSnap,  e->spare};
  std::memcpy(f.record, record, sizeof record);
  f.grid = e->grid != nullptr;
  if (e->grid == nullptr) return f;
  const VELDRA_TRW::SLGrid2D& g = *e->grid;
  f.usedNodes = g.nodes.capacity() - g.nodes.freeCount;
  std::uint64_t h = 1469598103934665603ull;
  const auto mix = [&h](std::uint64_t v) {
    h ^= v;
    h *= 1099511628211ull;
  };
  mix(g.useRegional);
  g.walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) {
    std::uint32_t a, b;
    std::memcpy(&a, &g.levelSet[n], 4);
    std::memcpy(&b, &g.regional[n], 4);
    mix(n);
    mix(g.child0(n));
    mix(a);
    mix(b);
    mix(g.region[n]);
  });
  f.tree = h;
  return f;
}

}  // namespace veldra_hardening
