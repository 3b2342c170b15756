// PNG reading and writing: exact round trips of the formats the tool writes, conversion of other
// formats on input, and one-line errors for files that are missing, are not images, or claim sizes
// that cannot be held.
#include <gtest/gtest.h>

#include <random>

#include "png_io.h"
#include "support/scratch_dir.h"

namespace {

using paint::GrayImage;
using paint::RgbaImage;
using paint::RgbImage;
using veldra_test::ScratchDir;

template <typename Image>
Image RandomImage(int w, int h, unsigned seed) {
  Image image(w, h);
  std::mt19937 rng(seed);
  for (auto& b : image.pixels) b = static_cast<std::uint8_t>(rng() & 0xFF);
  return image;
}

// Colour files read back opaque; grey files read as colour repeat the grey value in every channel; a
// black-and-white colour file reads as the same grey mask.
TEST(PngIo, RoundTripsAndConversionsAreExact) {
  ScratchDir dir;
  std::string error;
  for (const auto& [w, h] : {std::pair{1, 1}, std::pair{37, 5}, std::pair{64, 48}}) {
    const RgbImage rgb = RandomImage<RgbImage>(w, h, static_cast<unsigned>(w * 7 + h));
    const GrayImage gray = RandomImage<GrayImage>(w, h, static_cast<unsigned>(w + h * 13));
    RgbImage blackWhite(w, h);
    for (std::size_t i = 0; i < blackWhite.pixels.size(); ++i) blackWhite.pixels[i] = (i / 3) % 3 == 0 ? 255 : 0;
    ASSERT_TRUE(paint::WriteRgbPng(dir.file("rgb.png"), rgb, &error)) << error;
    ASSERT_TRUE(paint::WriteGrayPng(dir.file("gray.png"), gray, &error)) << error;
    ASSERT_TRUE(paint::WriteRgbPng(dir.file("bw.png"), blackWhite, &error)) << error;
    RgbaImage back, grayAsColour;
    GrayImage grayBack, bwAsGray;
    ASSERT_TRUE(paint::ReadRgbaPng(dir.file("rgb.png"), &back, &error)) << error;
    ASSERT_TRUE(paint::ReadGrayPng(dir.file("gray.png"), &grayBack, &error)) << error;
    ASSERT_TRUE(paint::ReadRgbaPng(dir.file("gray.png"), &grayAsColour, &error)) << error;
    ASSERT_TRUE(paint::ReadGrayPng(dir.file("bw.png"), &bwAsGray, &error)) << error;
    ASSERT_TRUE(back.width == w && back.height == h && grayBack.width == w && bwAsGray.height == h);
    EXPECT_EQ(grayBack.pixels, gray.pixels);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        for (int c = 0; c < 3; ++c) {
          ASSERT_EQ(back.at(x, y)[c], rgb.at(x, y)[c]);
          ASSERT_EQ(grayAsColour.at(x, y)[c], *gray.at(x, y));
        }
        ASSERT_EQ(back.at(x, y)[3], 255);
        ASSERT_EQ(*bwAsGray.at(x, y), blackWhite.at(x, y)[0]);
      }
  }
}

// One PNG chunk: length, type, data and the CRC of type and data.
std::string Chunk(const std::string& type, const std::string& data) {
  const auto be32 = [](std::uint32_t v) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((v >> shift) & 0xFF);
    return s;
  };
  const std::string body = type + data;
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : body) {
    crc ^= static_cast<std::uint8_t>(c);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return be32(static_cast<std::uint32_t>(data.size())) + body + be32(crc ^ 0xFFFFFFFFu);
}

// A PNG claiming the given size whose pixel data is an empty chunk.
std::string HeaderOnlyPng(std::uint32_t w, std::uint32_t h) {
  std::string header;
  for (const std::uint32_t v : {w, h})
    for (int shift = 24; shift >= 0; shift -= 8) header += static_cast<char>((v >> shift) & 0xFF);
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", header) + Chunk("IDAT", "") + Chunk("IEND", "");
}

TEST(PngIo, FilesThatAreNotImagesGiveOneLineErrorsNamingTheFile) {
  ScratchDir dir;
  std::string written;
  ASSERT_TRUE(paint::WriteRgbPng(dir.file("good.png"), RandomImage<RgbImage>(20, 20, 3), &written));
  const std::string good = veldra_test::readFile(dir.file("good.png"));
  const std::pair<std::string, std::string> cases[] = {
      {dir.file("missing.png"), "cannot open"},
      {dir.file(""), "is a directory"},
      {dir.write("empty.png", ""), "not a PNG file"},
      {dir.write("text.png", "this is a stroke script, not a picture\n"), "not a PNG file"},
      {dir.write("header-only.png", good.substr(0, 8)), "damaged PNG"},
      {dir.write("truncated.png", good.substr(0, good.size() / 2)), "damaged PNG"},
      // Absurd sizes are refused before any pixel is read; a plausible one without pixels is damaged.
      {dir.write("huge.png", HeaderOnlyPng(100000, 100000)), "100000x100000 pixels is empty or too large"},
      {dir.write("small.png", HeaderOnlyPng(30, 20)), "damaged PNG"},
  };
  for (const auto& [path, expected] : cases) {
    RgbaImage image;
    GrayImage gray;
    std::string error, grayError;
    EXPECT_FALSE(paint::ReadRgbaPng(path, &image, &error)) << path;
    EXPECT_FALSE(paint::ReadGrayPng(path, &gray, &grayError)) << path;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
    EXPECT_EQ(error.rfind(path, 0), 0u) << "the message starts with the file: " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(error, grayError);
  }
}

TEST(PngIo, WritingIntoAMissingDirectoryOrAnEmptyImageFails) {
  ScratchDir dir;
  std::string error;
  EXPECT_FALSE(paint::WriteGrayPng(dir.file("no/such/dir/mask.png"), GrayImage(4, 4), &error));
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  EXPECT_FALSE(paint::WriteRgbPng(dir.file("empty.png"), RgbImage(), &error));
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

}  // namespace
