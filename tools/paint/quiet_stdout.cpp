// Pointing file descriptor 1 at /dev/null for a scope and back again.
#include "quiet_stdout.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace paint {

QuietStdout::QuietStdout(bool enabled) {
  if (!enabled) return;
  std::fflush(stdout);
  const int sink = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (sink < 0) return;
  saved_ = dup(STDOUT_FILENO);
  if (saved_ >= 0 && dup2(sink, STDOUT_FILENO) < 0) {
    close(saved_);
    saved_ = -1;
  }
  close(sink);
}

QuietStdout::~QuietStdout() {
  if (saved_ < 0) return;
  std::fflush(stdout);
  dup2(saved_, STDOUT_FILENO);
  close(saved_);
}

}  // namespace paint
