// Silences standard output for a scope. The library prints a trace line for every refinement pass;
// a host decides whether to show it, and by default this tool does not (it would bury the summary).
#ifndef VELDRA_PAINT_QUIET_STDOUT_H
#define VELDRA_PAINT_QUIET_STDOUT_H

namespace paint {

class QuietStdout {
 public:
  // When enabled, points file descriptor 1 at /dev/null until destruction (flushing stdout at both
  // ends so that nothing written before or during the scope lands on the wrong side).
  explicit QuietStdout(bool enabled);
  ~QuietStdout();
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace paint

#endif  // VELDRA_PAINT_QUIET_STDOUT_H
