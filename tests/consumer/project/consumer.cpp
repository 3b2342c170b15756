// A host in miniature: links the installed library and makes a few calls through its public header.
#include <veldra/veldra.h>
#include <veldra/veldra_extras.h>

#include <cstdio>

int main() {
  int def = 0, lo = 0, hi = 0;
  if (VELDRA::GetDefaultParameter(VELDRA::PARAM_RADIUS, &def, &lo, &hi) != 0 || def != 10 || hi != 1250) return 1;
  if (!VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, 640, 480, false)) return 2;
  if (VELDRA::GetMattingMode(10, 10) != VELDRA::EDITMODE_SUBTRACT) return 3;
  unsigned char alpha[16 * 16];
  if (!VELDRA_EXTRAS::GetSelectionAlpha(0, 0, 16, 16, alpha, 16, 0.0f) || alpha[0] != 0) return 6;
  std::puts("consumer linked and ran");
  return 0;
}
