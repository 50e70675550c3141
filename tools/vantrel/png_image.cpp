#include "png_image.h"

#include <png.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace vantrel::cli {

std::optional<RgbImage> loadPng(const std::string& path, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
  auto image = decodePng(bytes, error);
  if (!image) error = path + ": " + error;
  return image;
}

std::optional<RgbImage> decodePng(std::span<const std::uint8_t> bytes, std::string& error, int maxSide) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0) {
    error = image.message;
    png_image_free(&image);
    return std::nullopt;
  }
  const auto most = static_cast<png_uint_32>(maxSide);
  if (image.width == 0 || image.height == 0 || image.width > most || image.height > most) {
    error = "image size " + std::to_string(image.width) + "x" + std::to_string(image.height) + " is out of range";
    png_image_free(&image);
    return std::nullopt;
  }
  image.format = PNG_FORMAT_RGB;
  RgbImage out;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.rgb.resize(PNG_IMAGE_SIZE(image));
  // A black background makes transparent pixels black instead of leaving the choice to libpng.
  const png_color black{0, 0, 0};
  if (png_image_finish_read(&image, &black, out.rgb.data(), 0, nullptr) == 0) {
    error = image.message;
    png_image_free(&image);
    return std::nullopt;
  }
  return out;
}

bool savePng(const std::string& path, const RgbImage& source, std::string& error) {
  if (source.width <= 0 || source.height <= 0 || source.width > kMaxPngSide ||
      source.height > kMaxPngSide ||
      source.rgb.size() != static_cast<std::size_t>(source.width) *
                               static_cast<std::size_t>(source.height) * 3) {
    error = path + ": image dimensions do not match its pixels";
    return false;
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(source.width);
  image.height = static_cast<png_uint_32>(source.height);
  image.format = PNG_FORMAT_RGB;
  if (png_image_write_to_file(&image, path.c_str(), 0, source.rgb.data(), 0, nullptr) == 0) {
    error = path + ": " + image.message;
    png_image_free(&image);
    return false;
  }
  return true;
}

}  // namespace vantrel::cli
