// The command line of veldra-paint: options, the run from inputs to output files, and the summary.
#ifndef VELDRA_PAINT_CLI_H
#define VELDRA_PAINT_CLI_H

#include <cstdio>
#include <string>
#include <vector>

namespace paint {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 1;     // a file is missing or unreadable, or its content is wrong
inline constexpr int kExitBadUsage = 2;     // the command line itself is wrong
inline constexpr int kExitLibraryFailed = 3;  // the library could not do its work (out of memory)

// Runs the tool with args (without the program name). The summary goes to out; warnings, errors
// and the progress line (only when err is a terminal) go to err. Never throws.
int RunPaint(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace paint

#endif  // VELDRA_PAINT_CLI_H
