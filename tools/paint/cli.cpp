// One run of the tool: gather and check every input first, so that bad input fails fast with one
// line, then replay, then write the outputs and the summary.
#include "cli.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "default_script.h"
#include "mask_stats.h"
#include "options.h"
#include "overlay.h"
#include "png_io.h"
#include "quiet_stdout.h"
#include "replay.h"
#include "scene.h"
#include "selection_extras.h"
#include "path_picture.h"
#include "stroke_script.h"

namespace paint {
namespace {

constexpr const char* kTool = "veldra-paint";

// The traced outline drawn into the overlay and written to selection.svg: simplified to a quarter
// pixel, drawn in red over the overlay's yellow boundary pixels.
constexpr float kPathTolerance = 0.25f;
constexpr std::array<std::uint8_t, 3> kPathColour{230, 20, 20};

struct Failure {
  int code;
  std::string message;
};

// The tool's one error line; returns the exit code.
int ReportError(std::FILE* err, int code, const std::string& message) {
  std::fprintf(err, "%s: error: %s\n", kTool, message.c_str());
  return code;
}

std::string SizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

bool ReadTextFile(const std::string& path, std::string* text, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = path + ": is a directory, not a stroke script";
    return false;
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot open: " + (errno != 0 ? std::strerror(errno) : "unknown reason");
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    *error = path + ": cannot read";
    return false;
  }
  *text = buffer.str();
  return true;
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string* error) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) {
    *error = path + ": cannot write";
    return false;
  }
  return true;
}

// Everything the replay needs, read and checked.
struct Inputs {
  RgbaImage image;
  std::optional<GrayImage> seed, reference;
  std::vector<Stroke> strokes;
  std::string description;    // "built-in scene 1600x1200" or the image path
  std::string referenceName;  // what the IoU is measured against
};

// Reads the grey PNG at path (the `what` of the error line) into *mask; it must have the image's size.
std::optional<Failure> ReadImageSizedMask(const std::string& path, const char* what, const RgbaImage& image,
                                          std::optional<GrayImage>* mask) {
  GrayImage m;
  std::string error;
  if (!ReadGrayPng(path, &m, &error)) return Failure{kExitBadInput, error};
  if (m.width != image.width || m.height != image.height)
    return Failure{kExitBadInput, path + ": " + what + " is " + SizeText(m.width, m.height) + " but the image is " +
                                      SizeText(image.width, image.height)};
  *mask = std::move(m);
  return std::nullopt;
}

std::optional<Failure> GatherInputs(const Options& o, Inputs* in, std::vector<std::string>* warnings) {
  std::string error;
  const bool builtIn = o.image.empty();
  if (builtIn) {
    Scene scene = GenerateScene(o.sceneWidth, o.sceneHeight);
    in->image = std::move(scene.image);
    in->description = "built-in scene " + SizeText(in->image.width, in->image.height);
    // The scene's object mask is what the built-in script aims at; an own script may select anything.
    if (o.script.empty()) {
      in->strokes = DefaultStrokes(scene);
      in->reference = std::move(scene.targetMask);
      in->referenceName = "the scene's object mask";
    }
  } else {
    if (!ReadRgbaPng(o.image, &in->image, &error)) return Failure{kExitBadInput, error};
    in->description = o.image + " (" + SizeText(in->image.width, in->image.height) + ")";
  }
  if (!o.seedMask.empty())
    if (auto f = ReadImageSizedMask(o.seedMask, "seed mask", in->image, &in->seed)) return f;
  if (!o.reference.empty()) {
    if (auto f = ReadImageSizedMask(o.reference, "reference mask", in->image, &in->reference)) return f;
    in->referenceName = o.reference;
  }
  if (!o.script.empty()) {
    std::string text;
    if (!ReadTextFile(o.script, &text, &error)) return Failure{kExitBadInput, error};
    std::vector<std::string> parseWarnings;
    if (!ParseStrokeScript(text, &in->strokes, &parseWarnings, &error))
      return Failure{kExitBadInput, o.script + ": " + error};
    for (const std::string& w : parseWarnings) warnings->push_back(o.script + ": " + w);
  }
  std::vector<std::string> clampWarnings;
  ResolveStrokes(&in->strokes, LibraryParameterTable(), in->image.width, in->image.height, &clampWarnings);
  const std::string source = o.script.empty() ? std::string("built-in script") : o.script;
  for (const std::string& w : clampWarnings) warnings->push_back(source + ": " + w);
  return std::nullopt;
}

std::optional<Failure> PrepareOutputs(const Options& o, const Inputs& in) {
  std::error_code ec;
  std::filesystem::create_directories(o.outDir, ec);
  if (ec || !std::filesystem::is_directory(o.outDir, ec))
    return Failure{kExitBadInput, o.outDir + ": cannot create the output directory" + (ec ? ": " + ec.message() : "")};
  std::string error;
  if (!o.writeScript.empty() && !WriteTextFile(o.writeScript, WriteStrokeScript(in.strokes), &error))
    return Failure{kExitBadInput, error};
  return std::nullopt;
}

int Run(const Options& o, std::FILE* out, std::FILE* err) {
  std::vector<std::string> warnings;
  Inputs in;
  auto fail = [&](const Failure& f) { return ReportError(err, f.code, f.message); };
  const std::optional<Failure> inputFailure = GatherInputs(o, &in, &warnings);
  for (const std::string& w : warnings) std::fprintf(err, "%s: warning: %s\n", kTool, w.c_str());
  if (inputFailure) return fail(*inputFailure);
  {
    const Options::Crop& c = o.crop;
    const int shownWidth = c.width == 0 ? in.image.width : std::min(c.width, in.image.width - c.x);
    const int shownHeight = c.width == 0 ? in.image.height : std::min(c.height, in.image.height - c.y);
    const std::string size = SizeText(in.image.width, in.image.height);
    if (c.width != 0 && (c.x >= in.image.width || c.y >= in.image.height))
      return fail({kExitBadUsage, "--crop starts outside the " + size + " image"});
    if (shownWidth < o.shrink || shownHeight < o.shrink)
      return fail({kExitBadUsage, "--shrink " + std::to_string(o.shrink) + " leaves no pixel of the overlay"});
  }
  if (auto f = PrepareOutputs(o, in)) return fail(*f);

  std::string error;
  PaintSession session;
  ReplayResult replay;
  GrayImage mask;
  {
    const QuietStdout quiet(!o.trace);
    if (!session.Open(in.image, &error)) return fail({kExitLibraryFailed, error});
    if (in.seed && !session.Seed(*in.seed, &error)) return fail({kExitLibraryFailed, error});
    ProgressLine progress(err, ProgressLine::IsTerminal(err));
    replay = session.Replay(in.strokes, &progress);
    if (!replay.ok) return fail({kExitLibraryFailed, replay.error});
    mask = session.ReadSelection(o.band);
  }
  const auto outPath = [&](const char* name) { return (std::filesystem::path(o.outDir) / name).string(); };
  const std::string maskPath = outPath("mask.png"), overlayPath = outPath("overlay.png");
  TracedSelection traced;
  if (!TraceSelection(mask.width, mask.height, kPathTolerance, &traced, &error)) return fail({kExitLibraryFailed, error});
  RgbImage overlay = RenderOverlay(in.image, mask);
  DrawRings(traced.rings, kPathColour, &overlay);
  // The pictures as asked for: cut to the crop rectangle; the overlay, which is only looked at, shrunk.
  const auto cut = [&o](const auto& picture) {
    const Options::Crop& c = o.crop;
    return c.width == 0 ? picture : Cropped(picture, c.x, c.y, c.width, c.height);
  };
  if (!WriteGrayPng(maskPath, cut(mask), &error)) return fail({kExitBadInput, error});
  if (!WriteRgbPng(overlayPath, Shrunk(cut(overlay), o.shrink), &error)) return fail({kExitBadInput, error});
  std::string written = maskPath + ", " + overlayPath;
  if (o.alpha) {
    GrayImage alpha;
    if (!ReadAlpha(mask.width, mask.height, o.feather, &alpha, &error)) return fail({kExitLibraryFailed, error});
    if (!WriteGrayPng(outPath("alpha.png"), cut(alpha), &error)) return fail({kExitBadInput, error});
    written += ", " + outPath("alpha.png");
  }
  if (o.svg) {
    std::string svg;
    if (!SvgPicture(in.image, traced.svgPath, &svg, &error) || !WriteTextFile(outPath("selection.svg"), svg, &error))
      return fail({kExitBadInput, error});
    written += ", " + outPath("selection.svg");
  }
  if (o.fieldDump) {
    const QuietStdout quiet(!o.trace);
    if (!session.DumpField(o.outDir, &error)) return fail({kExitLibraryFailed, error});
    written += ", " + (std::filesystem::path(o.outDir) / "field.pbm").string();
  }

  const long long area = SelectedArea(mask);
  const double pixels = static_cast<double>(mask.width) * mask.height;
  std::fprintf(out, "%s: %s, %zu strokes, %d events\n", kTool, in.description.c_str(), in.strokes.size(), replay.events);
  std::fprintf(out, "  time per event: median %.2f ms, worst %.2f ms\n", 1e3 * Median(replay.eventSeconds),
               1e3 * Largest(replay.eventSeconds));
  std::fprintf(out, "  selected area: %lld pixels (%.1f%% of the image)\n", area, 100.0 * area / pixels);
  if (in.reference)
    std::fprintf(out, "  IoU against %s: %.4f\n", in.referenceName.c_str(), IntersectionOverUnion(mask, *in.reference));
  std::fprintf(out, "  wrote %s\n", written.c_str());
  return kExitOk;
}

}  // namespace

int RunPaint(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  try {
    Options options;
    std::string error;
    if (!ParseOptions(args, &options, &error)) return ReportError(err, kExitBadUsage, error);
    if (options.help) {
      std::fputs(kUsage, out);
      return kExitOk;
    }
    return Run(options, out, err);
  } catch (const std::bad_alloc&) {
    return ReportError(err, kExitLibraryFailed, "out of memory");
  } catch (const std::exception& e) {
    return ReportError(err, kExitBadInput, e.what());
  } catch (...) {
    return ReportError(err, kExitLibraryFailed, "unexpected failure");
  }
}

}  // namespace paint
