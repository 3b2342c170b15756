// PNG files through libpng's simplified interface: it reports errors in the image record instead of
// jumping out of the caller, so no setjmp is needed and C++ objects unwind normally.
#include "png_io.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace paint {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens path for reading and checks the PNG signature, leaving the stream at the start.
FilePtr OpenPng(const std::string& path, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = path + ": is a directory, not a PNG file";
    return nullptr;
  }
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *error = path + ": cannot open: " + std::strerror(errno);
    return nullptr;
  }
  unsigned char signature[8] = {};
  const std::size_t got = std::fread(signature, 1, sizeof signature, file.get());
  if (std::ferror(file.get())) {
    *error = path + ": cannot read: " + std::strerror(errno);
    return nullptr;
  }
  if (got < sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0) {
    *error = path + ": not a PNG file";
    return nullptr;
  }
  std::rewind(file.get());
  return file;
}

// Reads the whole file into pixels of the given simplified-API format.
template <int Channels>
bool ReadPng(const std::string& path, png_uint_32 format, PixelImage<Channels>* out, std::string* error) {
  FilePtr file = OpenPng(path, error);
  if (!file) return false;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_stdio(&image, file.get())) {
    *error = path + ": damaged PNG: " + image.message;
    png_image_free(&image);
    return false;
  }
  if (image.width == 0 || image.height == 0 ||
      static_cast<long long>(image.width) * image.height > kMaxImagePixels) {
    *error = path + ": image of " + std::to_string(image.width) + "x" + std::to_string(image.height) +
             " pixels is empty or too large";
    png_image_free(&image);
    return false;
  }
  image.format = format;
  PixelImage<Channels> pixels(static_cast<int>(image.width), static_cast<int>(image.height));
  if (!png_image_finish_read(&image, nullptr, pixels.pixels.data(), 0, nullptr)) {
    *error = path + ": damaged PNG: " + image.message;
    png_image_free(&image);
    return false;
  }
  png_image_free(&image);
  *out = std::move(pixels);
  return true;
}

// A zeroed image record for writing in's pixels as the given format.
template <int Channels>
png_image WriteRecord(const PixelImage<Channels>& in, png_uint_32 format) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(in.width);
  image.height = static_cast<png_uint_32>(in.height);
  image.format = format;
  return image;
}

template <int Channels>
bool WritePng(const std::string& path, png_uint_32 format, const PixelImage<Channels>& in, std::string* error) {
  if (in.empty() || in.pixels.size() != static_cast<std::size_t>(in.width) * in.height * Channels) {
    *error = path + ": nothing to write (empty image)";
    return false;
  }
  png_image image = WriteRecord(in, format);
  if (!png_image_write_to_file(&image, path.c_str(), 0, in.pixels.data(), 0, nullptr)) {
    const std::string reason = image.message[0] != '\0' ? image.message : std::strerror(errno);
    *error = path + ": cannot write: " + reason;
    png_image_free(&image);
    return false;
  }
  png_image_free(&image);
  return true;
}

}  // namespace

bool ReadRgbaPng(const std::string& path, RgbaImage* image, std::string* error) {
  return ReadPng(path, PNG_FORMAT_RGBA, image, error);
}

bool ReadGrayPng(const std::string& path, GrayImage* image, std::string* error) {
  return ReadPng(path, PNG_FORMAT_GRAY, image, error);
}

bool WriteRgbPng(const std::string& path, const RgbImage& image, std::string* error) {
  return WritePng(path, PNG_FORMAT_RGB, image, error);
}

bool WriteGrayPng(const std::string& path, const GrayImage& image, std::string* error) {
  return WritePng(path, PNG_FORMAT_GRAY, image, error);
}

bool EncodeRgbPng(const RgbImage& in, std::vector<std::uint8_t>* bytes, std::string* error) {
  if (in.empty()) {
    *error = "nothing to encode (empty image)";
    return false;
  }
  png_image image = WriteRecord(in, PNG_FORMAT_RGB);
  // The first call measures, the second writes.
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&image, nullptr, &size, 0, in.pixels.data(), 0, nullptr)) {
    bytes->resize(size);
    if (png_image_write_to_memory(&image, bytes->data(), &size, 0, in.pixels.data(), 0, nullptr)) {
      bytes->resize(size);
      png_image_free(&image);
      return true;
    }
  }
  *error = std::string("cannot encode PNG: ") + image.message;
  png_image_free(&image);
  return false;
}

}  // namespace paint
