// The edit-mode machine against its transition table, exhaustively (so every stroke of events follows
// it). The brush record, tile range and iteration count are pinned by the recorded session hash.
#include "api/mode_machine.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace {

using namespace VELDRA_CORE;

// The transition table of a stroke, row by row (first matching row wins; rows do not overlap).
std::int32_t tableTransition(int m, std::int32_t from, bool regionalStroke, bool useRegional, int label) {
  const bool R = regionalStroke && useRegional;
  const bool brushMode = m == 0 || m == 1 || m == 2;
  if (m == 3) return 6;
  if (from == 0 && m == 0 && !regionalStroke) return 4;
  if (from == 0 && m == 1 && !regionalStroke) return 5;
  if (from == 0 && m == 2 && !regionalStroke) return label == 0 ? 4 : label == 1 ? 5 : 0;
  if (brushMode && R && label == 2) return 1;
  if (brushMode && R && label != 2) return 3;
  return from;
}

TEST(ModeMachine, EveryTransitionFollowsTheTable) {
  const int modes[] = {INT_MIN, -7, -1, 0, 1, 2, 3, 4, 5, 6, 255, INT_MAX};
  for (int mode : modes)
    for (std::int32_t from = 0; from <= 6; ++from)
      for (int rs = 0; rs < 2; ++rs)
        for (int ur = 0; ur < 2; ++ur)
          for (int label = 0; label < 3; ++label) {
            int lookups = 0;
            const std::int32_t to = NextOperation(mode, from, rs != 0, ur != 0, [&] {
              ++lookups;
              return static_cast<unsigned char>(label);
            });
            EXPECT_EQ(to, tableTransition(mode, from, rs != 0, ur != 0, label))
                << "mode " << mode << " from " << from << " regionalStroke " << rs << " useRegional " << ur
                << " label " << label;
            // The label is looked up once for the brush modes and never otherwise.
            EXPECT_EQ(lookups, (mode >= 0 && mode <= 2) ? 1 : 0) << "mode " << mode;
          }
}

}  // namespace
