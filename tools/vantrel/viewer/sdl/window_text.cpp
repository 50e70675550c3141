#include "viewer/sdl/window_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace vantrel::cli {
namespace {

constexpr std::string_view kMenuTitle = "Send to the console";

// Each row's leftmost pixel is the high bit of five.
struct Glyph {
  char letter;
  std::array<std::uint8_t, 7> rows;
};
constexpr std::array kGlyphs = std::to_array<Glyph>({
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}}, {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, {'a', {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F}},
    {'b', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E}}, {'c', {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E}},
    {'d', {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F}}, {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}},
    {'f', {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}}, {'g', {0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
    {'h', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11}}, {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}},
    {'l', {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'n', {0x00, 0x00, 0x1E, 0x11, 0x11, 0x11, 0x11}},
    {'o', {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E}}, {'p', {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}},
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}}, {'s', {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E}},
    {'t', {0x08, 0x08, 0x1E, 0x08, 0x08, 0x09, 0x06}}, {'u', {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D}},
    {'v', {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04}}, {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
});

int textWidth(std::string_view text, int scale) { return std::max(0, static_cast<int>(text.size()) * 6 - 1) * scale; }

// A blank, or a letter the font lacks, leaves its place empty.
void drawText(SDL_Renderer* renderer, int left, int top, int scale, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto glyph = std::find_if(kGlyphs.begin(), kGlyphs.end(), [&](const Glyph& g) { return g.letter == text[i]; });
    if (glyph == kGlyphs.end()) continue;
    for (int row = 0; row < 7; ++row) {
      for (int column = 0; column < 5; ++column) {
        if ((glyph->rows[static_cast<std::size_t>(row)] & (0x10 >> column)) == 0) continue;
        const SDL_Rect dot{left + (static_cast<int>(i) * 6 + column) * scale, top + row * scale, scale, scale};
        SDL_RenderFillRect(renderer, &dot);
      }
    }
  }
}

void fill(SDL_Renderer* renderer, const Rect& r) {
  const SDL_Rect area{r.x, r.y, r.width, r.height};
  SDL_RenderFillRect(renderer, &area);
}

}  // namespace

void drawBanner(SDL_Renderer* renderer, ExtentI output, std::string_view text) {
  constexpr int kScale = 4;
  const int width = textWidth(text, kScale);
  const int height = 7 * kScale;
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 128);
  SDL_RenderFillRect(renderer, nullptr);
  const int left = (output.width - width) / 2, top = (output.height - height) / 2;
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 200);
  fill(renderer, {left - 3 * kScale, top - 3 * kScale, width + 6 * kScale, height + 6 * kScale});
  SDL_SetRenderDrawColor(renderer, 255, 255, 255, 255);
  drawText(renderer, left, top, kScale, text);
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
}

std::optional<std::size_t> KeyMenuLayout::itemAt(Point at) const {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Rect& r = rows[i];
    if (at.x >= r.x && at.x < r.x + r.width && at.y >= r.y && at.y < r.y + r.height) return i;
  }
  return std::nullopt;
}

KeyMenuLayout layOutKeyMenu(ExtentI output, const std::vector<MenuItem>& items) {
  KeyMenuLayout layout;
  int widest = textWidth(kMenuTitle, 1);
  for (const MenuItem& item : items) widest = std::max(widest, textWidth(item.label, 1));
  const int rowCount = static_cast<int>(items.size()) + 1;
  // Per unit of scale: a row is 11 high, the box has a margin of 6 around the rows.
  for (layout.scale = 3; layout.scale > 1; --layout.scale) {
    if ((widest + 12) * layout.scale <= output.width && (rowCount * 11 + 14) * layout.scale <= output.height) break;
  }
  const int s = layout.scale;
  const ExtentI box{(widest + 12) * s, (rowCount * 11 + 14) * s};
  layout.box = {(output.width - box.width) / 2, (output.height - box.height) / 2, box.width, box.height};
  layout.title = {layout.box.x + 6 * s, layout.box.y + 6 * s, widest * s, 11 * s};
  for (std::size_t i = 0; i < items.size(); ++i) {
    layout.rows.push_back({layout.box.x + 3 * s, layout.title.y + (13 + 11 * static_cast<int>(i)) * s,
                           box.width - 6 * s, 11 * s});
  }
  return layout;
}

void drawKeyMenu(SDL_Renderer* renderer, const KeyMenuLayout& layout, const std::vector<MenuItem>& items,
                 std::size_t selected) {
  const int s = layout.scale;
  SDL_SetRenderDrawColor(renderer, 160, 160, 160, 255);
  fill(renderer, {layout.box.x - s, layout.box.y - s, layout.box.width + 2 * s, layout.box.height + 2 * s});
  SDL_SetRenderDrawColor(renderer, 32, 32, 32, 255);
  fill(renderer, layout.box);
  SDL_SetRenderDrawColor(renderer, 170, 170, 170, 255);
  drawText(renderer, layout.title.x, layout.title.y + 2 * s, s, kMenuTitle);
  for (std::size_t i = 0; i < items.size() && i < layout.rows.size(); ++i) {
    const Rect& row = layout.rows[i];
    if (i == selected) {
      SDL_SetRenderDrawColor(renderer, 48, 96, 176, 255);
      fill(renderer, row);
    }
    SDL_SetRenderDrawColor(renderer, 255, 255, 255, 255);
    drawText(renderer, row.x + 3 * s, row.y + 2 * s, s, items[i].label);
  }
}

}  // namespace vantrel::cli
