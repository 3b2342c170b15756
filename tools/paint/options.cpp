// Parsing veldra-paint's command line into Options, with one error line for anything malformed.
#include "options.h"

#include <charconv>

namespace paint {

const char* const kUsage =
    "usage: veldra-paint [options]\n"
    "\n"
    "Replays brush strokes on an image through the veldra library, the way an image editor drives it,\n"
    "and writes the selection. Without options it paints on a built-in scene with a built-in script.\n"
    "\n"
    "  -i, --image FILE        RGB or RGBA PNG to paint on (default: the built-in scene)\n"
    "  -s, --script FILE       JSON stroke script (default: the built-in script on the built-in scene,\n"
    "                          no strokes on an own image)\n"
    "  -m, --seed-mask FILE    grey PNG of the image's size seeding the selection (above 128: selected)\n"
    "  -r, --reference FILE    grey PNG to compare the result with (IoU); the built-in scene and script\n"
    "                          are compared with the scene's object mask\n"
    "  -o, --out DIR           output directory (default: out); receives mask.png and overlay.png\n"
    "      --band N            boundary band width of the mask read-back, pixels (default 0: two levels)\n"
    "      --field-dump        also write the library's field dump DIR/field.pbm\n"
    "      --alpha             also write DIR/alpha.png, the selection with soft (anti-aliased) edges\n"
    "      --feather N         feather alpha.png's edges over N pixels on either side (implies --alpha)\n"
    "      --svg               also write DIR/selection.svg, the selection's outline over the image\n"
    "      --scene WxH         size of the built-in scene (default 1600x1200)\n"
    "      --crop X,Y,W,H      write mask.png, overlay.png and alpha.png of this rectangle only\n"
    "      --shrink N          write overlay.png at 1/N size, each pixel the mean of N x N pixels\n"
    "      --trace             show the library's refinement trace lines on standard output\n"
    "      --write-script FILE write the strokes as replayed (defaults filled in, values clamped)\n"
    "  -h, --help              show this text\n"
    "\n"
    "Stroke script: {\"strokes\": [{\"mode\": \"add\", \"radius\": 40, \"core\": 60, \"edge_snap\": 75,\n"
    "  \"smoothing\": 100, \"band\": 10, \"points\": [[x, y], ...]}, ...]}\n"
    "  modes: add, subtract, auto (add or subtract by where the stroke starts), smooth, band (paints the\n"
    "  boundary band; optional \"matting_radius\"), line (straight segments between the points;\n"
    "  \"line_mode\": add, subtract or auto). Only mode and points are required. An entry\n"
    "  {\"undo\": true} takes back the previous stroke (again: the one before).\n"
    "\n"
    "Exit codes: 0 done, 1 bad input file or script, 2 bad command line, 3 the library failed.\n";

namespace {

bool ParseInt(const std::string& text, int lo, int hi, int* value) {
  int v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return false;
  *value = v;
  return true;
}

bool ParseFloat(const std::string& text, float lo, float hi, float* value) {
  float v = 0.0f;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !(v >= lo && v <= hi)) return false;
  *value = v;
  return true;
}

bool ParseSize(const std::string& text, int* w, int* h) {
  const auto x = text.find('x');
  return x != std::string::npos && ParseInt(text.substr(0, x), 64, 8192, w) &&
         ParseInt(text.substr(x + 1), 64, 8192, h);
}

// "X,Y,W,H": a corner at or right of and below the origin, sides of at least one pixel.
bool ParseCrop(const std::string& text, Options::Crop* crop) {
  int v[4];
  std::size_t start = 0;
  for (int k = 0; k < 4; ++k) {
    const std::size_t end = k < 3 ? text.find(',', start) : text.size();
    if (end == std::string::npos || !ParseInt(text.substr(start, end - start), k < 2 ? 0 : 1, 1 << 20, &v[k])) return false;
    start = end + 1;
  }
  *crop = Options::Crop{v[0], v[1], v[2], v[3]};
  return true;
}

// One option: a flag (sets a bool), a text (stores its value), or a checked value (parse is false
// when the value is malformed or out of range, which the error message names with `expects`).
struct OptionRule {
  const char* shortName;  // nullptr when there is none
  const char* longName;
  bool Options::*flag = nullptr;
  std::string Options::*text = nullptr;
  bool (*parse)(const std::string& value, Options* options) = nullptr;
  const char* expects = nullptr;
};

const OptionRule kRules[] = {
    {"-h", "--help", &Options::help},
    {nullptr, "--field-dump", &Options::fieldDump},
    {nullptr, "--trace", &Options::trace},
    {nullptr, "--alpha", &Options::alpha},
    {nullptr, "--svg", &Options::svg},
    {nullptr, "--feather", nullptr, nullptr,
     [](const std::string& v, Options* o) {
       o->alpha = true;  // feathered edges are only seen in alpha.png
       return ParseFloat(v, 0.0f, 1000.0f, &o->feather);
     },
     "a number of pixels from 0 to 1000"},
    {"-i", "--image", nullptr, &Options::image},
    {"-s", "--script", nullptr, &Options::script},
    {"-m", "--seed-mask", nullptr, &Options::seedMask},
    {"-r", "--reference", nullptr, &Options::reference},
    {"-o", "--out", nullptr, &Options::outDir},
    {nullptr, "--write-script", nullptr, &Options::writeScript},
    {nullptr, "--band", nullptr, nullptr, [](const std::string& v, Options* o) { return ParseInt(v, 0, 1000, &o->band); },
     "a whole number of pixels from 0 to 1000"},
    {nullptr, "--crop", nullptr, nullptr, [](const std::string& v, Options* o) { return ParseCrop(v, &o->crop); },
     "X,Y,W,H (whole pixels, corner from 0, sides from 1)"},
    {nullptr, "--shrink", nullptr, nullptr, [](const std::string& v, Options* o) { return ParseInt(v, 1, 16, &o->shrink); },
     "a whole factor from 1 to 16"},
    {nullptr, "--scene", nullptr, nullptr,
     [](const std::string& v, Options* o) { return ParseSize(v, &o->sceneWidth, &o->sceneHeight); },
     "a size WxH with sides from 64 to 8192"},
};

const OptionRule* FindRule(const std::string& name) {
  for (const OptionRule& rule : kRules)
    if (name == rule.longName || (rule.shortName != nullptr && name == rule.shortName)) return &rule;
  return nullptr;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool inlineValue = false;
    if (name.rfind("--", 0) == 0) {
      if (const auto eq = name.find('='); eq != std::string::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
        inlineValue = true;
      }
    }
    const OptionRule* rule = FindRule(name);
    if (rule == nullptr) {
      *error = (name.rfind('-', 0) == 0 ? "unknown option " : "unexpected argument ") + ("\"" + args[i] + "\"") +
               " (see --help)";
      return false;
    }
    if (rule->flag != nullptr) {
      if (inlineValue) {
        *error = "option " + name + " takes no value";
        return false;
      }
      options->*rule->flag = true;
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        *error = "option " + name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (rule->parse != nullptr && !rule->parse(value, options)) {
      *error = std::string(rule->longName) + " needs " + rule->expects + ", not \"" + value + "\"";
      return false;
    }
    if (value.empty()) {
      *error = "option " + name + " needs a non-empty value";
      return false;
    }
    if (rule->text != nullptr) options->*rule->text = value;
  }
  return true;
}

}  // namespace paint
