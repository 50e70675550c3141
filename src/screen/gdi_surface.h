#pragma once
// The Win32 shell's surface: a memory DC with a bitmap compatible with the screen, the viewer
// window's DC, and a logical palette for screens of 8 bits or fewer. Defined in
// gdi_surface_win32.cpp; only the DLL creates one.

#include <memory>
#include <optional>

#include "screen/surface_port.h"
#include "viewer/view_layout.h"

namespace vantrel {

class GdiSurface : public SurfacePort {
 public:
  // The window becomes known at its WM_CREATE, before the first createSurface.
  virtual void setWindow(WindowRef window) = 0;
  // The window shows the surface scaled into `layout`'s target (smoothed, in black bars), or
  // 1:1 at the scroll offset without one. Set under the surface lock.
  virtual void setScaledView(const std::optional<ViewLayout>& layout) = 0;
};

std::unique_ptr<GdiSurface> makeGdiSurface();

}  // namespace vantrel
