#include "tool/x_painter.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <bit>
#include <cstdlib>

namespace vantrel::test {
namespace {

Display* dpy(void* d) { return static_cast<Display*>(d); }

unsigned long pixelOf(const Visual* v, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  const auto place = [](unsigned long mask, std::uint8_t value) {
    const int bits = std::popcount(mask), shift = std::countr_zero(mask);
    return ((static_cast<unsigned long>(value) >> (8 - bits)) << shift) & mask;
  };
  return place(v->red_mask, r) | place(v->green_mask, g) | place(v->blue_mask, b);
}

}  // namespace

XPainter::XPainter(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}

XPainter::~XPainter() {
  if (display_ != nullptr) XCloseDisplay(dpy(display_));
}

void XPainter::draw(int x, int y, const cli::RgbImage& picture) {
  Display* d = dpy(display_);
  const int screen = DefaultScreen(d);
  Visual* visual = DefaultVisual(d, screen);
  XImage* image = XCreateImage(d, visual, static_cast<unsigned>(DefaultDepth(d, screen)), ZPixmap, 0, nullptr,
                               static_cast<unsigned>(picture.width), static_cast<unsigned>(picture.height), 32, 0);
  image->data = static_cast<char*>(calloc(static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(picture.height), 1));
  for (int row = 0; row < picture.height; ++row) {
    for (int col = 0; col < picture.width; ++col) {
      const auto* p = &picture.rgb[static_cast<std::size_t>((row * picture.width + col) * 3)];
      XPutPixel(image, col, row, pixelOf(visual, p[0], p[1], p[2]));
    }
  }
  const Window root = RootWindow(d, screen);
  GC gc = XCreateGC(d, root, 0, nullptr);
  XSetSubwindowMode(d, gc, IncludeInferiors);
  XPutImage(d, root, gc, image, 0, 0, x, y, static_cast<unsigned>(picture.width), static_cast<unsigned>(picture.height));
  XFreeGC(d, gc);
  XDestroyImage(image);
  XSync(d, False);
}

cli::RgbImage testPicture(int width, int height, int seed) {
  cli::RgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width * height) * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      auto* p = &image.rgb[static_cast<std::size_t>((y * width + x) * 3)];
      p[0] = static_cast<std::uint8_t>(x * 5 + seed);
      p[1] = static_cast<std::uint8_t>(y * 3 + x);
      p[2] = static_cast<std::uint8_t>((x ^ y) + seed * 7);
    }
  }
  return image;
}

}  // namespace vantrel::test
