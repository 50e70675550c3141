#include "viewer/view_layout.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <utility>

namespace vantrel {
namespace {

// `offset` within a length of `span` pixels mapped onto `length` pixels, ends onto ends.
int mapAxis(int offset, int span, int length) {
  offset = std::clamp(offset, 0, std::max(span - 1, 0));
  if (span <= 1 || length <= 1) return 0;
  return static_cast<int>((std::int64_t{offset} * (length - 1) + (span - 1) / 2) / (span - 1));
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return -floorDiv(-a, b); }

// One axis of a scaled copy: remote pixels [from, to) of a source `span` long shown `length`
// long from window position `origin`. Out: the widened source, its exact target, the clip.
struct AxisCopy {
  int source = 0, sourceEnd = 0, target = 0, targetEnd = 0, clip = 0, clipEnd = 0;
};

AxisCopy copyAxis(int from, int to, int span, int origin, int length) {
  AxisCopy c;
  from = std::max(from, 0);
  to = std::min(to, span);
  if (from >= to || span <= 0 || length <= 0) return c;
  // `step` source pixels cover a whole number of target pixels: a piece that starts and ends
  // on such steps is stretched by the very same factor as the whole picture.
  const int step = span / std::gcd(span, length);
  // Room for the smoothing: a target pixel may read about span / length source pixels around it.
  const int margin = (span + length - 1) / length + 2;
  c.source = static_cast<int>(std::max<std::int64_t>(floorDiv(from - margin, step) * step, 0));
  c.sourceEnd = static_cast<int>(std::min<std::int64_t>(ceilDiv(to + margin, step) * step, span));
  const auto toTarget = [&](std::int64_t s) { return origin + static_cast<int>(s * length / span); };
  c.target = toTarget(c.source);
  c.targetEnd = toTarget(c.sourceEnd);
  // The pixels the change can reach: its own, and those a source pixel beside it blends into.
  c.clip = std::max(origin + static_cast<int>(floorDiv(std::int64_t{from - 1} * length, span)), c.target);
  c.clipEnd = std::min(origin + static_cast<int>(ceilDiv(std::int64_t{to + 1} * length, span)), c.targetEnd);
  return c;
}

}  // namespace

ExtentI fitInside(ExtentI remote, ExtentI box) {
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

ViewLayout fitView(ExtentI remote, ExtentI window, bool scaled, Point scroll) {
  ViewLayout layout;
  if (remote.width <= 0 || remote.height <= 0 || window.width <= 0 || window.height <= 0) return layout;
  if (scaled) {
    const ExtentI shown = fitInside(remote, window);
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

ExtentI initialWindowSize(ExtentI remote, ExtentI usable, bool oneToOne) {
  if (usable.width <= 0 || usable.height <= 0) return remote;
  if (remote.width <= usable.width && remote.height <= usable.height) return remote;
  if (oneToOne) return {std::min(remote.width, usable.width), std::min(remote.height, usable.height)};
  return fitInside(remote, usable);
}

Rect shownRect(const ViewLayout& layout, Rect remote) {
  const Rect& s = layout.source;
  const Rect& t = layout.target;
  if (s.width <= 0 || s.height <= 0) return {};
  const auto axis = [](int from, int length, int sourceFrom, int span, int origin, int shown) {
    const std::int64_t start = floorDiv(std::int64_t{from - sourceFrom} * shown, span);
    const std::int64_t end = ceilDiv(std::int64_t{from + length - sourceFrom} * shown, span);
    return std::pair<int, int>{origin + static_cast<int>(start), static_cast<int>(end - start)};
  };
  const auto [x, width] = axis(remote.x, remote.width, s.x, s.width, t.x, t.width);
  const auto [y, height] = axis(remote.y, remote.height, s.y, s.height, t.y, t.height);
  return {x, y, width, height};
}

ScaledCopy scaledCopy(const ViewLayout& layout, Rect changed) {
  const Rect& s = layout.source;
  const Rect& t = layout.target;
  const AxisCopy x = copyAxis(changed.x - s.x, changed.x + changed.width - s.x, s.width, t.x, t.width);
  const AxisCopy y = copyAxis(changed.y - s.y, changed.y + changed.height - s.y, s.height, t.y, t.height);
  if (x.clipEnd <= x.clip || y.clipEnd <= y.clip) return {};
  return {{s.x + x.source, s.y + y.source, x.sourceEnd - x.source, y.sourceEnd - y.source},
          {x.target, y.target, x.targetEnd - x.target, y.targetEnd - y.target},
          {x.clip, y.clip, x.clipEnd - x.clip, y.clipEnd - y.clip}};
}

}  // namespace vantrel
