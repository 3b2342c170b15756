// A one-line progress display for long replays, redrawn in place on a terminal and silent when the
// stream is not one (a pipe, a file, a test).
#ifndef VELDRA_PAINT_PROGRESS_H
#define VELDRA_PAINT_PROGRESS_H

#include <chrono>
#include <cstdio>

namespace paint {

class ProgressLine {
 public:
  // Draws on stream only when enabled (callers pass whether the stream is a terminal).
  ProgressLine(std::FILE* stream, bool enabled) : stream_(stream), enabled_(enabled) {}
  ~ProgressLine() { Finish(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Redraws at most ten times a second, and always for the last event.
  void Update(int stroke, int strokes, int event, int events);
  // Clears the line so the next output starts on a clean line.
  void Finish();

  static bool IsTerminal(std::FILE* stream);

 private:
  std::FILE* stream_;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace paint

#endif  // VELDRA_PAINT_PROGRESS_H
