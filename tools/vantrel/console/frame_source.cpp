#include "console/frame_source.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string_view>

namespace vantrel::cli {
namespace {

using std::chrono::milliseconds;

struct Colour {
  std::uint8_t r, g, b;
};

// 5 x 7 capitals, digits and a little punctuation; each row is five bits, most significant left.
struct Glyph {
  char c;
  std::array<std::uint8_t, 7> rows;
};
constexpr std::array kFont = {
    Glyph{'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, Glyph{'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    Glyph{'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, Glyph{'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    Glyph{'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, Glyph{'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    Glyph{'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, Glyph{'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    Glyph{'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, Glyph{'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    Glyph{':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, Glyph{'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}},
    Glyph{'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}}, Glyph{'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    Glyph{'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}}, Glyph{'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    Glyph{'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}}, Glyph{'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    Glyph{'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, Glyph{'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    Glyph{'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}}, Glyph{'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    Glyph{'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}}, Glyph{'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    Glyph{'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}}, Glyph{'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    Glyph{'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}}, Glyph{'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    Glyph{'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}}, Glyph{'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    Glyph{'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, Glyph{'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    Glyph{'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}}, Glyph{'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    Glyph{'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}}, Glyph{'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    Glyph{'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}}, Glyph{'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    Glyph{',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}}, Glyph{'!', {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04}},
    Glyph{'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, Glyph{'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}},
};

class Canvas {
 public:
  explicit Canvas(RgbImage& image) : image_(image) {}

  void fill(int x, int y, int w, int h, Colour c) {
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + w, image_.width), y1 = std::min(y + h, image_.height);
    for (int row = y0; row < y1; ++row) {
      for (int col = x0; col < x1; ++col) {
        auto* p = &image_.rgb[(static_cast<std::size_t>(row) * static_cast<std::size_t>(image_.width) +
                               static_cast<std::size_t>(col)) * 3];
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
      }
    }
  }

  // Text in the 5 x 7 font, each dot `scale` pixels square, 6 dots apart; unknown characters
  // (and blanks) leave a gap.
  void text(int x, int y, std::string_view s, int scale, Colour c) {
    for (char ch : s) {
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
      const auto glyph = std::find_if(kFont.begin(), kFont.end(), [ch](const Glyph& g) { return g.c == ch; });
      if (glyph != kFont.end()) {
        for (int row = 0; row < 7; ++row) {
          for (int col = 0; col < 5; ++col) {
            if ((glyph->rows[static_cast<std::size_t>(row)] >> (4 - col)) & 1) {
              fill(x + col * scale, y + row * scale, scale, scale, c);
            }
          }
        }
      }
      x += 6 * scale;
    }
  }

 private:
  RgbImage& image_;
};

// Back and forth over [0, span] at `speed` pixels a second.
int bounce(milliseconds t, int span, int speed) {
  if (span <= 0) return 0;
  const long long travelled = t.count() * speed / 1000 % (2LL * span);
  return static_cast<int>(travelled <= span ? travelled : 2LL * span - travelled);
}

class DemoSource final : public FrameSource {
 public:
  DemoSource(int width, int height) {
    image_.width = width;
    image_.height = height;
    image_.rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
  }

  // Every picture is drawn afresh, so any part of it may have changed.
  Frame frameAt(milliseconds elapsed) override {
    Canvas canvas(image_);
    const int w = image_.width, h = image_.height;
    for (int y = 0; y < h; ++y) {
      canvas.fill(0, y, w, 1, Colour{0, static_cast<std::uint8_t>(112 - 64 * y / h), static_cast<std::uint8_t>(144 - 64 * y / h)});
    }

    const int bar = 32;
    canvas.fill(0, h - bar, w, bar, Colour{192, 192, 192});
    canvas.fill(0, h - bar, w, 2, Colour{255, 255, 255});
    canvas.fill(4, h - bar + 5, 80, bar - 9, Colour{160, 160, 160});
    canvas.text(14, h - bar + 9, "START", 2, Colour{0, 0, 0});
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    canvas.text(w - 8 * 12 - 10, h - bar + 9, clock, 2, Colour{0, 0, 0});

    const int ww = std::min(360, w - 8), wh = std::min(160, h - bar - 8);
    const int x = bounce(elapsed, w - ww, 90), y = bounce(elapsed, h - bar - wh, 50);
    canvas.fill(x + 6, y + 6, ww, wh, Colour{0, 40, 56});  // shadow
    canvas.fill(x, y, ww, wh, Colour{212, 208, 200});
    canvas.fill(x + 3, y + 3, ww - 6, 22, Colour{10, 36, 106});
    canvas.text(x + 10, y + 8, "VANTREL CONSOLE", 2, Colour{255, 255, 255});
    canvas.fill(x + 8, y + 34, ww - 16, wh - 42, Colour{255, 255, 255});

    static constexpr std::string_view kLine = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG.";
    const auto typed = static_cast<std::size_t>(elapsed.count() / 125 % static_cast<long long>(kLine.size() + 16));
    const std::string_view line = kLine.substr(0, std::min(typed, kLine.size()));
    const auto perLine = static_cast<std::size_t>(std::max(1, (ww - 24) / 12));
    for (std::size_t at = 0, row = 0; at <= line.size(); at += perLine, ++row) {
      const std::string_view part = line.substr(at, perLine);
      const int top = y + 42 + static_cast<int>(row) * 20;
      canvas.text(x + 14, top, part, 2, Colour{0, 0, 0});
      // The cursor after the last character, blinking.
      if (at + perLine > line.size() && elapsed.count() / 500 % 2 == 0) {
        canvas.text(x + 14 + 12 * static_cast<int>(part.size()), top, "_", 2, Colour{0, 0, 0});
      }
    }
    whole_ = {0, 0, w, h};
    return {image_, std::span(&whole_, 1)};
  }

  milliseconds nextChange(milliseconds elapsed) const override { return milliseconds((elapsed.count() / 100 + 1) * 100); }

 private:
  RgbImage image_;
  ScreenFeed::Rect whole_{};
};

class StillSource final : public FrameSource {
 public:
  StillSource(std::vector<RgbImage> images, int width, int height, milliseconds interval)
      : interval_(std::max(interval, milliseconds(1))) {
    for (const RgbImage& image : images) {
      RgbImage screen{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0)};
      const int w = std::min(width, image.width), h = std::min(height, image.height);
      for (int y = 0; y < h; ++y) {
        std::copy_n(&image.rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) * 3],
                    static_cast<std::size_t>(w) * 3,
                    &screen.rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3]);
      }
      screens_.push_back(std::move(screen));
    }
  }

  Frame frameAt(milliseconds elapsed) override {
    const std::size_t index = static_cast<std::size_t>(elapsed / interval_) % screens_.size();
    const RgbImage& screen = screens_[index];
    const bool same = shown_ == index;
    shown_ = index;
    whole_ = {0, 0, screen.width, screen.height};
    return {screen, std::span(&whole_, same ? 0 : 1)};
  }

  milliseconds nextChange(milliseconds elapsed) const override {
    if (screens_.size() < 2) return milliseconds::max();
    return (elapsed / interval_ + 1) * interval_;
  }

 private:
  std::vector<RgbImage> screens_;
  milliseconds interval_;
  std::optional<std::size_t> shown_;  // the picture returned last
  ScreenFeed::Rect whole_{};
};

}  // namespace

std::unique_ptr<FrameSource> makeDemoSource(int width, int height) {
  return std::make_unique<DemoSource>(width, height);
}

std::unique_ptr<FrameSource> makeStillSource(std::vector<RgbImage> images, int width, int height,
                                             milliseconds interval) {
  if (images.empty()) return nullptr;
  return std::make_unique<StillSource>(std::move(images), width, height, interval);
}

}  // namespace vantrel::cli
