// A whole editing session on a natural selection (many boundary pieces, most running into the image's
// edges), scaled down to 1100 x 900 with all four brush radii scaled alike: for each radius the
// selection is re-seeded, then an add stroke and a subtract stroke run along the longest boundary piece
// as a host runs them. The brush-box read-outs of every event, the field dump and the whole read-out
// after each radius are hashed together and compared with the value recorded from an earlier build:
// any change of results, however small, shows here. Speed-ups must keep it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/harness.h"
#include "support/natural_selection.h"
#include "support/tree.h"

namespace {

using namespace veldra_test;

// The session's hash as recorded from the build this scenario was introduced on. Re-record it only for
// a deliberate change of behaviour, and say so in the commit: run this test, and copy the value it
// reports as "got" here.
constexpr std::uint64_t kRecordedSessionHash = 0x9658e1c60d4dab24ull;

constexpr int kWidth = 1100, kHeight = 900;
constexpr int kEventsPerStroke = 24;

std::uint64_t sessionHash() {
  const NaturalScene& scene = naturalScene(kWidth, kHeight);
  const RgbaImage img = scene.render();
  std::vector<unsigned char> seed = scene.seedMask();
  const ScratchDir dir;
  Fnv1a hash;
  defaultParameters();
  VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, kWidth, kHeight, false);
  SnapField snap;
  std::vector<unsigned char> display;
  for (const int fullRadius : kNaturalRadii) {
    const int radius = scaledRadius(fullRadius, kWidth);
    EXPECT_TRUE(VELDRA::InitSelection(0, 0, kWidth, kHeight, seed.data(), kWidth));
    VELDRA::SetParameter(VELDRA::PARAM_RADIUS, radius);
    const auto path = scene.brushPath(radius / 4.0, kEventsPerStroke);
    for (const VELDRA::EDITMODE mode : {VELDRA::EDITMODE_ADD, VELDRA::EDITMODE_SUBTRACT}) {
      VELDRA::MouseDown();
      for (const auto& [x, y] : path) {
        EXPECT_TRUE(hostEvent(img, mode, x, y, radius, snap, display));
        hash.add(display);
      }
      VELDRA::MouseUp();
    }
    {
      const WorkingDirectory inside(dir.path());
      VELDRA::SaveSelectionToFile();
    }
    const std::string dump = readFile(dir.file("field.pbm"));
    EXPECT_GT(dump.size(), static_cast<std::size_t>(kWidth) * kHeight * 12) << "field dump missing";
    hash.add(dump);
    hash.add(readSelection(kWidth, kHeight, 4));
  }
  return hash.value;
}

TEST(NaturalSession, ReplaysBitIdenticallyToTheRecordedBuild) {
  const NaturalScene& scene = naturalScene(kWidth, kHeight);
  ASSERT_GE(scene.pieces.size(), 12u) << "the scene must keep its many boundary pieces";
  std::uint64_t got = 0;
  capturedStdout([&] { got = sessionHash(); });
  EXPECT_EQ(got, kRecordedSessionHash) << "got 0x" << std::hex << got;
}

}  // namespace
