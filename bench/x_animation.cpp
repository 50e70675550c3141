// x_animation --geometry WxH+X+Y [--fps N]
// A window on the X server of $DISPLAY whose every pixel changes every frame, as a video does:
// a colourful texture drifting diagonally. For scripts/measure-links. The window is placed as
// asked without a window manager and stays above the windows mapped before it; it runs until
// killed. The server must have a 24-bit true-colour screen.
// CLI11 first: Xlib's macros (Success, None) would otherwise rename its names.
#include <CLI/CLI.hpp>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  CLI::App app{"A window that changes every pixel every frame"};
  std::string geometry;
  int fps = 60;
  app.add_option("--geometry", geometry, "WxH+X+Y")->required();
  app.add_option("--fps", fps, "frames a second")->capture_default_str()->check(CLI::Range(1, 240));
  CLI11_PARSE(app, argc, argv);

  int x = 0, y = 0;
  unsigned width = 0, height = 0;
  const int parsed = XParseGeometry(geometry.c_str(), &x, &y, &width, &height);
  if ((parsed & (WidthValue | HeightValue)) != (WidthValue | HeightValue) || width == 0 || height == 0) {
    std::fprintf(stderr, "x_animation: --geometry takes WxH+X+Y, not '%s'\n", geometry.c_str());
    return 1;
  }
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) {
    std::fprintf(stderr, "x_animation: cannot open the display\n");
    return 1;
  }
  const int screen = DefaultScreen(d);
  if (DefaultDepth(d, screen) != 24) {
    std::fprintf(stderr, "x_animation: the screen is not 24 bits deep\n");
    return 1;
  }
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  const Window window = XCreateWindow(d, RootWindow(d, screen), x, y, width, height, 0, CopyFromParent, InputOutput,
                                      CopyFromParent, CWOverrideRedirect, &attributes);
  XMapRaised(d, window);
  const GC gc = XCreateGC(d, window, 0, nullptr);

  // The texture is larger than the window by the drift's reach; each frame shows a window of it.
  constexpr unsigned kReach = 256;
  const unsigned textureWidth = width + kReach, textureHeight = height + kReach;
  std::vector<std::uint32_t> texture(std::size_t{textureWidth} * textureHeight);
  for (unsigned ty = 0; ty < textureHeight; ++ty) {
    for (unsigned tx = 0; tx < textureWidth; ++tx) {
      const double v = std::sin(tx / 23.0) + std::sin(ty / 17.0) + std::sin((tx + ty) / 31.0) +
                       std::sin(std::sqrt(double(tx) * tx + double(ty) * ty) / 13.0);
      const auto channel = [&](double phase) {
        return static_cast<std::uint32_t>(127.5 + 127.5 * std::sin(v * 2.1 + phase));
      };
      texture[std::size_t{ty} * textureWidth + tx] = channel(0) << 16 | channel(2.1) << 8 | channel(4.2);
    }
  }
  std::vector<std::uint32_t> pixels(std::size_t{width} * height);
  XImage* image = XCreateImage(d, DefaultVisual(d, screen), 24, ZPixmap, 0, reinterpret_cast<char*>(pixels.data()),
                               width, height, 32, 0);
  if (image == nullptr) return 1;

  const auto period = std::chrono::microseconds(1000000 / fps);
  auto next = std::chrono::steady_clock::now();
  for (unsigned frame = 0;; ++frame) {
    const unsigned dx = frame * 3 % kReach, dy = frame * 2 % kReach;
    for (unsigned row = 0; row < height; ++row) {
      const std::uint32_t* from = &texture[std::size_t{row + dy} * textureWidth + dx];
      std::copy(from, from + width, &pixels[std::size_t{row} * width]);
    }
    XPutImage(d, window, gc, image, 0, 0, 0, 0, width, height);
    XSync(d, False);  // one frame at a time: a slow server is not flooded
    next += period;
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;  // behind: the next frame is drawn at once, none are made up
    std::this_thread::sleep_until(next);
  }
}
