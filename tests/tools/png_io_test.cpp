// PNG reading and writing: exact round trips of the formats the tool writes, conversion of other
// formats on input, and one-line errors for files that are missing or are not images.
#include <gtest/gtest.h>

#include <random>

#include "paint_test_files.h"
#include "png_io.h"

namespace {

using paint::GrayImage;
using paint::RgbaImage;
using paint::RgbImage;

template <typename Image>
Image RandomImage(int w, int h, unsigned seed) {
  Image image(w, h);
  std::mt19937 rng(seed);
  for (auto& b : image.pixels) b = static_cast<std::uint8_t>(rng() & 0xFF);
  return image;
}

TEST(PngIo, RgbAndGrayRoundTripExactly) {
  paint_test::ScratchDir dir;
  std::string error;
  for (const auto& [w, h] : {std::pair{1, 1}, std::pair{37, 5}, std::pair{64, 48}}) {
    const RgbImage rgb = RandomImage<RgbImage>(w, h, static_cast<unsigned>(w * 7 + h));
    ASSERT_TRUE(paint::WriteRgbPng(dir.file("rgb.png"), rgb, &error)) << error;
    RgbaImage back;
    ASSERT_TRUE(paint::ReadRgbaPng(dir.file("rgb.png"), &back, &error)) << error;
    ASSERT_EQ(back.width, w);
    ASSERT_EQ(back.height, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        for (int c = 0; c < 3; ++c) ASSERT_EQ(back.at(x, y)[c], rgb.at(x, y)[c]);
        ASSERT_EQ(back.at(x, y)[3], 255) << "an image without alpha reads as opaque";
      }

    const GrayImage gray = RandomImage<GrayImage>(w, h, static_cast<unsigned>(w + h * 13));
    ASSERT_TRUE(paint::WriteGrayPng(dir.file("gray.png"), gray, &error)) << error;
    GrayImage grayBack;
    ASSERT_TRUE(paint::ReadGrayPng(dir.file("gray.png"), &grayBack, &error)) << error;
    EXPECT_EQ(grayBack.width, w);
    EXPECT_EQ(grayBack.pixels, gray.pixels);

    // A grey file read as colour repeats the grey value in every channel.
    RgbaImage grayAsColour;
    ASSERT_TRUE(paint::ReadRgbaPng(dir.file("gray.png"), &grayAsColour, &error)) << error;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) ASSERT_EQ(grayAsColour.at(x, y)[c], *gray.at(x, y));
  }
}

TEST(PngIo, BlackAndWhiteColourMaskReadsAsTheSameGreyMask) {
  paint_test::ScratchDir dir;
  RgbImage mask(9, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x)
      for (int c = 0; c < 3; ++c) mask.at(x, y)[c] = (x + y) % 3 == 0 ? 255 : 0;
  std::string error;
  ASSERT_TRUE(paint::WriteRgbPng(dir.file("mask.png"), mask, &error));
  GrayImage gray;
  ASSERT_TRUE(paint::ReadGrayPng(dir.file("mask.png"), &gray, &error)) << error;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(*gray.at(x, y), mask.at(x, y)[0]);
}

TEST(PngIo, FilesThatAreNotImagesGiveOneLineErrorsNamingTheFile) {
  paint_test::ScratchDir dir;
  std::string good;
  {
    const RgbImage image = RandomImage<RgbImage>(20, 20, 3);
    std::string error;
    ASSERT_TRUE(paint::WriteRgbPng(dir.file("good.png"), image, &error));
    std::ifstream in(dir.file("good.png"), std::ios::binary);
    good.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  struct Case {
    std::string path, expected;
  };
  const Case cases[] = {
      {dir.file("missing.png"), "cannot open"},
      {dir.file(""), "is a directory"},
      {dir.write("empty.png", ""), "not a PNG file"},
      {dir.write("text.png", "this is a stroke script, not a picture\n"), "not a PNG file"},
      {dir.write("header-only.png", good.substr(0, 8)), "damaged PNG"},
      {dir.write("truncated.png", good.substr(0, good.size() / 2)), "damaged PNG"},
  };
  for (const Case& c : cases) {
    RgbaImage image;
    GrayImage gray;
    std::string error, grayError;
    EXPECT_FALSE(paint::ReadRgbaPng(c.path, &image, &error)) << c.path;
    EXPECT_FALSE(paint::ReadGrayPng(c.path, &gray, &grayError)) << c.path;
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    EXPECT_EQ(error.rfind(c.path, 0), 0u) << "the message starts with the file: " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(error, grayError);
  }
}

// One PNG chunk: length, type, data and the CRC of type and data.
std::string Chunk(const std::string& type, const std::string& data) {
  auto be32 = [](std::uint32_t v) {
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

TEST(PngIo, AbsurdSizesAreRefusedBeforeAnyPixelIsRead) {
  paint_test::ScratchDir dir;
  RgbaImage image;
  std::string error;
  EXPECT_FALSE(paint::ReadRgbaPng(dir.write("huge.png", HeaderOnlyPng(100000, 100000)), &image, &error));
  EXPECT_NE(error.find("100000x100000 pixels is empty or too large"), std::string::npos) << error;
  // A plausible size with the pixel data missing is a damaged file.
  EXPECT_FALSE(paint::ReadRgbaPng(dir.write("small.png", HeaderOnlyPng(30, 20)), &image, &error));
  EXPECT_NE(error.find("damaged PNG"), std::string::npos) << error;
}

TEST(PngIo, WritingIntoAMissingDirectoryOrAnEmptyImageFails) {
  paint_test::ScratchDir dir;
  std::string error;
  EXPECT_FALSE(paint::WriteGrayPng(dir.file("no/such/dir/mask.png"), GrayImage(4, 4), &error));
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  EXPECT_FALSE(paint::WriteRgbPng(dir.file("empty.png"), RgbImage(), &error));
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

}  // namespace
