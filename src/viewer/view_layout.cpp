#include "viewer/sdl/view_layout.h"

#include <algorithm>
#include <cstdint>

namespace vantrel::cli {
namespace {

// The largest size of `remote`'s aspect within `box`, rounded to whole pixels.
Size fitted(Size remote, Size box) {
  if (remote.width <= 0 || remote.height <= 0) return {0, 0};
  // Compare box.w / remote.w with box.h / remote.h without division.
  const std::int64_t byWidth = std::int64_t{box.width} * remote.height;
  const std::int64_t byHeight = std::int64_t{box.height} * remote.width;
  if (byWidth <= byHeight) {
    const auto h = (std::int64_t{box.width} * remote.height + remote.width / 2) / remote.width;
    return {box.width, static_cast<int>(std::max<std::int64_t>(h, 1))};
  }
  const auto w = (std::int64_t{box.height} * remote.width + remote.height / 2) / remote.height;
  return {static_cast<int>(std::max<std::int64_t>(w, 1)), box.height};
}

// `offset` within a length of `span` pixels mapped onto `length` pixels, ends onto ends.
int mapAxis(int offset, int span, int length) {
  offset = std::clamp(offset, 0, std::max(span - 1, 0));
  if (span <= 1 || length <= 1) return 0;
  return static_cast<int>((std::int64_t{offset} * (length - 1) + (span - 1) / 2) / (span - 1));
}

}  // namespace

ViewLayout fitView(Size remote, Size window, bool scaled, Point scroll) {
  ViewLayout layout;
  if (remote.width <= 0 || remote.height <= 0 || window.width <= 0 || window.height <= 0) return layout;
  if (scaled) {
    const Size shown = fitted(remote, window);
    layout.source = {0, 0, remote.width, remote.height};
    layout.target = {(window.width - shown.width) / 2, (window.height - shown.height) / 2, shown.width, shown.height};
    return layout;
  }
  const int w = std::min(remote.width, window.width);
  const int h = std::min(remote.height, window.height);
  layout.source = {std::clamp(scroll.x, 0, remote.width - w), std::clamp(scroll.y, 0, remote.height - h), w, h};
  layout.target = {(window.width - w) / 2, (window.height - h) / 2, w, h};
  return layout;
}

Point remotePoint(const ViewLayout& layout, Point at) {
  const Rect& s = layout.source;
  const Rect& t = layout.target;
  return {s.x + mapAxis(at.x - t.x, t.width, s.width), s.y + mapAxis(at.y - t.y, t.height, s.height)};
}

Size initialWindowSize(Size remote, Size usable, bool oneToOne) {
  if (usable.width <= 0 || usable.height <= 0) return remote;
  if (remote.width <= usable.width && remote.height <= usable.height) return remote;
  if (oneToOne) return {std::min(remote.width, usable.width), std::min(remote.height, usable.height)};
  return fitted(remote, usable);
}

}  // namespace vantrel::cli
