#include "screen/display_state.h"

#include <algorithm>
#include <cstring>

#include "protocol/byte_io.h"

namespace vantrel {
namespace {

constexpr std::size_t kUpdateX = 2;
constexpr std::size_t kUpdateY = 4;
constexpr std::size_t kUpdateWidth = 6;
constexpr std::size_t kUpdateHeight = 8;
constexpr std::size_t kUpdateFlag = 10;
constexpr std::size_t kUpdateHeaderLength = 16;
constexpr std::size_t kFormatWidth = 2;
constexpr std::size_t kFormatHeight = 4;

bool supportedSize(std::uint32_t width, std::uint32_t height) {
  return (width == 1024 && height == 768) || (width == 800 && height == 600) || (width == 640 && height == 480);
}

}  // namespace

DisplayState::DisplayState(SurfacePort& surface, DisplayHost& host, UserMessages& messages, ScreenCodec& codec,
                           std::span<std::uint8_t> decodeBuffer)
    : surface_(surface), host_(host), messages_(messages), codec_(codec), decodeBuffer_(decodeBuffer) {}

UpdateResult DisplayState::prepare(const ConsoleMessage& message, std::span<const std::uint8_t> payload,
                                   Update& update) {
  const std::int32_t x = message.u16At(kUpdateX);
  const std::int32_t y = message.u16At(kUpdateY);
  const std::int32_t width = message.u16At(kUpdateWidth);
  const std::int32_t height = message.u16At(kUpdateHeight);
  update.rect = {x, y, x + width, y + height};
  update.storedColours = message.u16At(kUpdateFlag) != 0;
  const std::uint32_t headerLength = message.u32At(kUpdateHeaderLength);

  if (headerLength < DibFormat::kHeaderSize || headerLength > payload.size()) return UpdateResult::Undecodable;
  // What the rectangle will expand to, before anything is written: the header, then width x
  // height pixels of the size the block declares.
  const std::uint16_t bitCount = loadU16le(payload.data() + DibFormat::kBitCountAt);
  const std::uint64_t decodedSize =
      std::uint64_t{headerLength} + std::uint64_t{static_cast<std::uint32_t>(width)} *
                                        static_cast<std::uint32_t>(height) * DibFormat::codecPixelSize(bitCount);
  if (decodedSize > decodeBuffer_.size()) return UpdateResult::TooLarge;

  const std::int32_t decoded = codec_.decode(payload, decodeBuffer_, headerLength);
  if (decoded == ScreenCodec::kNoRoom) return UpdateResult::TooLarge;
  if (decoded < 0) return UpdateResult::Undecodable;

  const auto block = decodeBuffer_.first(headerLength);
  auto format = DibFormat::parse(block);
  if (!format) return UpdateResult::BadBitmap;

  // drawInfo: the block's header, then the stored colour table when the flag asks for it, or
  // else the block's own masks or colour table. GDI reads the info block as the header
  // describes it, so it must hold everything the header declares.
  drawInfo_.fill(0);
  std::memcpy(drawInfo_.data(), block.data(), DibFormat::kHeaderSize);
  storeU32le(drawInfo_.data(), DibFormat::kHeaderSize);  // biSize: no larger header versions
  if (update.storedColours) {
    std::memcpy(drawInfo_.data() + DibFormat::kHeaderSize, colourTable_.data(), colourTable_.size());
  } else {
    if (format->infoSize > headerLength) return UpdateResult::BadBitmap;
    std::memcpy(drawInfo_.data() + DibFormat::kHeaderSize, block.data() + DibFormat::kHeaderSize,
                format->infoSize - DibFormat::kHeaderSize);
  }
  // Only the table entries GDI will use; beyond 8 bits a table is only a hint and is dropped.
  storeU32le(drawInfo_.data() + DibFormat::kClrUsedAt, format->colourCount);
  format = DibFormat::parse(drawInfo_);
  if (!format || format->infoSize > drawInfo_.size()) return UpdateResult::BadBitmap;

  // GDI reads every row the header declares, whatever the rectangle: they must lie in the buffer.
  const std::size_t pixelRoom = decodeBuffer_.size() - headerLength;
  if (format->imageSize > pixelRoom) return UpdateResult::TooLarge;
  update.format = *format;
  update.pixels = decodeBuffer_.subspan(headerLength, static_cast<std::size_t>(format->imageSize));
  return UpdateResult::Drawn;
}

DibImage DisplayState::image(const Update& update) const {
  return {std::span<const std::uint8_t>(drawInfo_).first(update.format.infoSize), update.pixels};
}

UpdateResult DisplayState::handleScreenUpdate(const ConsoleMessage& message, std::span<const std::uint8_t> payload) {
  Update update;
  if (const auto result = prepare(message, payload, update); result != UpdateResult::Drawn) return result;

  const std::lock_guard lock(surfaceLock_);
  if (clearFirst_ == 1) {
    surface_.clearRect(update.rect);
    clearFirst_ = 0;
  }
  std::uint32_t copyMode = 0;
  const bool paletteSurface = surfaceBitCount_.load() <= 8;
  if (update.storedColours) {
    if (paletteSurface) {
      realiseStoredPalette();
      copyMode = 1;
    }
  } else if (update.format.bitCount <= 8) {
    copyMode = 1;
    if (paletteSurface) realiseHeaderPalette(image(update).info);
  }
  const bool drawn = surface_.drawToSurface(update.rect, image(update), copyMode ? RasterOp::Copy : RasterOp::Invert,
                                            scroll());
  if (!drawn) return UpdateResult::NoSurface;
  copyMode_ = copyMode;
  if (fullFrameSeen_.load() == 0 && static_cast<std::uint32_t>(update.rect.width()) == remoteWidth_.load() &&
      static_cast<std::uint32_t>(update.rect.height()) == remoteHeight_.load()) {
    fullFrameSeen_ = 1;
  }
  ++updatesDrawn_;
  return UpdateResult::Drawn;
}

UpdateResult DisplayState::handleOverlayUpdate(const ConsoleMessage& message, std::span<const std::uint8_t> payload) {
  Update update;
  if (const auto result = prepare(message, payload, update); result != UpdateResult::Drawn) return result;

  // The overlay is drawn under the lock as well: the window DC it draws on is replaced under
  // it when the surface is rebuilt on the window thread.
  const std::lock_guard lock(surfaceLock_);
  if (!surface_.restoreWindowArea(overlayRect_, scroll())) return UpdateResult::NoSurface;
  overlayRect_ = update.rect;
  surface_.drawOverlay(update.rect, image(update), copyMode_ ? RasterOp::Copy : RasterOp::Invert, scroll());
  return UpdateResult::Drawn;
}

void DisplayState::handleScreenFormat(const ConsoleMessage& message, std::span<const std::uint8_t> payload) {
  const std::uint32_t width = message.u16At(kFormatWidth);
  const std::uint32_t height = message.u16At(kFormatHeight);
  const bool resized = width != remoteWidth_.load() && height != remoteHeight_.load();
  if (resized) {
    remoteWidth_ = width;
    remoteHeight_ = height;
    if (!supportedSize(width, height)) {
      messages_.showText(host_.windowedView() ? messages_.ownerWindow : host_.viewerWindow(),
                         kUnsupportedResolutionText);
      host_.abortSession();
    }
  }
  Rebuilt rebuilt;
  {
    const std::lock_guard lock(surfaceLock_);
    rebuilt = rebuildLocked(resized);
  }
  report(rebuilt);
  if (resized) host_.surfaceResized();

  // A short table replaces only the entries that arrived; an empty one keeps the last.
  if (!payload.empty()) {
    std::memcpy(colourTable_.data(), payload.data(), std::min(payload.size(), colourTable_.size()));
  }

  overlayRect_ = {};
  fullFrameSeen_ = 0;
  clearFirst_ = 1;
}

std::uint16_t DisplayState::surfaceCreated(bool windowCreated) {
  if (windowCreated) {
    remoteWidth_ = kInitialSize;
    remoteHeight_ = kInitialSize;
  }
  Rebuilt rebuilt;
  {
    const std::lock_guard lock(surfaceLock_);
    rebuilt = rebuildLocked(true);
  }
  report(rebuilt);
  return surfaceBitCount_.load();
}

DisplayState::Rebuilt DisplayState::rebuildLocked(bool create) {
  Rebuilt rebuilt;
  if (create) rebuilt.created = surface_.createSurface(remoteWidth_.load(), remoteHeight_.load());
  storeU32le(surfaceFormat_.data(), DibFormat::kHeaderSize);
  storeU16le(surfaceFormat_.data() + DibFormat::kBitCountAt, 0);
  rebuilt.queried = surface_.querySurfaceFormat(surfaceFormat_);
  surfaceBitCount_ = loadU16le(surfaceFormat_.data() + DibFormat::kBitCountAt);
  return rebuilt;
}

void DisplayState::report(const Rebuilt& rebuilt) {
  const SurfaceResult created = rebuilt.created.value_or(SurfaceResult::Created);
  const WindowRef viewer = host_.viewerWindow();
  if (lacks(created, SurfaceResult::NoDeviceContext)) messages_.showCatalogBox(viewer, "CreateDCFailed");
  if (lacks(created, SurfaceResult::NoBitmap)) messages_.showCatalogBox(viewer, "CreateMemFailed");
  if (!rebuilt.queried) messages_.showCatalogBox(messages_.ownerWindow, "GetBitFailed");
}

bool DisplayState::paintWindow(WindowRef window) {
  if (fullFrameSeen_.load() == 0) return false;
  const std::lock_guard lock(surfaceLock_);
  surface_.paintWindow(window, remoteWidth_.load(), remoteHeight_.load(), scroll(),
                       surfaceBitCount_.load() <= 8 && paletteRealised_);
  return true;
}

void DisplayState::setScroll(ScrollOffset offset) {
  scrollX = offset.x;
  scrollY = offset.y;
}

std::array<PaletteEntry, 256> DisplayState::storedPaletteEntries(std::span<const std::uint8_t, kColourTableSize> table) {
  // The table is stored as RGBQUADs (blue, green, red, reserved); a palette entry is red,
  // green, blue, flags. The reserved byte must not become flags (PC_EXPLICIT would turn the
  // entry into a hardware index).
  std::array<PaletteEntry, 256> entries{};
  for (std::size_t k = 0; k < entries.size(); ++k) {
    entries[k] = {table[4 * k + 2], table[4 * k + 1], table[4 * k], 0};
  }
  return entries;
}

std::span<const PaletteEntry> DisplayState::headerPaletteEntries(std::span<const std::uint8_t> info,
                                                                 std::array<PaletteEntry, 256>& out) {
  if (info.size() < DibFormat::kHeaderSize) return {};
  std::size_t count = loadU32le(info.data() + DibFormat::kClrUsedAt);
  if (count == 0) {
    switch (loadU16le(info.data() + DibFormat::kBitCountAt)) {
      case 1: count = 2; break;
      case 4: count = 16; break;
      case 8: count = 256; break;
      default: count = 0; break;
    }
  }
  // A palette holds at most 256 entries, and only the entries the block carries can be read.
  count = std::min({count, out.size(), (info.size() - DibFormat::kHeaderSize) / 4});
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint8_t* quad = info.data() + DibFormat::kHeaderSize + 4 * k;
    out[k] = {quad[2], quad[1], quad[0], 0};
  }
  return std::span<const PaletteEntry>(out).first(count);
}

void DisplayState::realiseStoredPalette() {
  const auto entries = storedPaletteEntries(colourTable_);
  surface_.realisePalette(entries);
  paletteRealised_ = true;
}

void DisplayState::realiseHeaderPalette(std::span<const std::uint8_t> info) {
  std::array<PaletteEntry, 256> entries{};
  const auto used = headerPaletteEntries(info, entries);
  if (used.empty()) return;  // no palette can have no entries; keep the last one
  surface_.realisePalette(used);
  paletteRealised_ = true;
}

}  // namespace vantrel
