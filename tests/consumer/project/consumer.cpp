// A host in miniature: links the installed library and makes a few calls through its public header.
#include <veldra/veldra.h>
#include <veldra/veldra_extras.h>

#include <cstdio>

int main() {
  int def = 0, lo = 0, hi = 0;
  if (VELDRA::GetDefaultParameter(VELDRA::PARAM_RADIUS, &def, &lo, &hi) != 0 || def != 10 || hi != 1250) return 1;
  if (!VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, 640, 480, false)) return 2;
  if (VELDRA::SetParameter(VELDRA::PARAM_CORE, 500) != 0) return 4;
  int core = 0;
  if (VELDRA::GetParameter(VELDRA::PARAM_CORE, &core) != 0 || core != 100) return 5;
  const VELDRA::EDITMODE mode = VELDRA::GetMattingMode(10, 10);
  if (mode != VELDRA::EDITMODE_ADD && mode != VELDRA::EDITMODE_SUBTRACT && mode != VELDRA::EDITMODE_BAND) return 3;
  unsigned char alpha[16 * 16];
  if (!VELDRA_EXTRAS::GetSelectionAlpha(0, 0, 16, 16, alpha, 16, 0.0f) || alpha[0] != 0) return 6;
  std::puts("consumer linked and ran");
  return 0;
}
