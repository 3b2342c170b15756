// Redrawing the progress line in place, at most ten times a second.
#include "progress.h"

#include <unistd.h>

namespace paint {

bool ProgressLine::IsTerminal(std::FILE* stream) { return stream != nullptr && isatty(fileno(stream)) == 1; }

void ProgressLine::Update(int stroke, int strokes, int event, int events) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && event < events && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  drawn_ = true;
  const int percent = events > 0 ? static_cast<int>(100LL * event / events) : 100;
  std::fprintf(stream_, "\r  stroke %d/%d, event %d/%d (%3d%%)", stroke, strokes, event, events, percent);
  std::fflush(stream_);
}

void ProgressLine::Finish() {
  if (!drawn_) return;
  std::fprintf(stream_, "\r\033[K");
  std::fflush(stream_);
  drawn_ = false;
}

}  // namespace paint
