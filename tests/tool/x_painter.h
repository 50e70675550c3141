#pragma once
// An X client of the test's own that draws RGB pictures on the root window of a test server.

#include <cstdint>
#include <string>
#include <vector>

#include "png_image.h"

namespace vantrel::test {

class XPainter {
 public:
  explicit XPainter(const std::string& display);
  ~XPainter();
  XPainter(const XPainter&) = delete;
  XPainter& operator=(const XPainter&) = delete;

  bool ok() const { return display_ != nullptr; }
  // Draws the picture with its top left at (x, y) and waits until the server has done it.
  void draw(int x, int y, const cli::RgbImage& picture);

 private:
  void* display_ = nullptr;  // Display*, kept out of the header with Xlib's macros
};

// A picture whose every pixel differs from its neighbours in some channel.
cli::RgbImage testPicture(int width, int height, int seed);

}  // namespace vantrel::test
