#pragma once
// The viewer's own words over the picture, in a 5 x 7 pixel font of the letters they use: the
// "reconnecting" banner and the key menu, which the window draws itself so that it works the
// same with a window manager and without one (a dialog of its own would not get the keyboard
// on a bare X server).

#include <SDL2/SDL_render.h>

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "viewer/sdl/key_menu.h"
#include "viewer/view_layout.h"

namespace vantrel::cli {

// Text over the middle of the picture, which is dimmed under it.
void drawBanner(SDL_Renderer* renderer, ExtentI output, std::string_view text);

// Where the key menu goes on an output of `output` size: its box, its title and a row per
// item, at the largest size of the font that fits.
struct KeyMenuLayout {
  Rect box;
  Rect title;
  std::vector<Rect> rows;
  int scale = 1;
  // The item under `at`, or nothing.
  std::optional<std::size_t> itemAt(Point at) const;
};
KeyMenuLayout layOutKeyMenu(ExtentI output, const std::vector<MenuItem>& items);

void drawKeyMenu(SDL_Renderer* renderer, const KeyMenuLayout& layout, const std::vector<MenuItem>& items,
                 std::size_t selected);

}  // namespace vantrel::cli
