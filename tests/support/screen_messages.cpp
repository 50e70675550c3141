#include "support/screen_messages.h"

#include <algorithm>

#include "protocol/byte_io.h"
#include "screen/screen_codec.h"

namespace vantrel::testing {

Bytes bitmapInfo(std::int32_t width, std::int32_t height, std::uint16_t bitCount, std::uint32_t compression,
                 std::uint32_t clrUsed, const Bytes& extra) {
  Bytes info(40 + extra.size(), 0);
  storeU32le(info.data(), 40);
  storeU32le(info.data() + 4, static_cast<std::uint32_t>(width));
  storeU32le(info.data() + 8, static_cast<std::uint32_t>(height));
  storeU16le(info.data() + 12, 1);
  storeU16le(info.data() + 14, bitCount);
  storeU32le(info.data() + 16, compression);
  storeU32le(info.data() + 32, clrUsed);
  std::copy(extra.begin(), extra.end(), info.begin() + 40);
  return info;
}

Bytes compressedBlock(const Bytes& info, const Bytes& pixels) {
  Bytes plain = info;
  plain.insert(plain.end(), pixels.begin(), pixels.end());
  Bytes out(plain.size() * 2 + 64);
  ScreenCodec codec;
  const auto length = codec.encodeFullDepth(plain, out, static_cast<std::uint32_t>(info.size()));
  out.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return out;
}

Bytes trueColourBlock(std::int32_t width, std::int32_t height, const std::vector<std::uint32_t>& pixels) {
  Bytes masks(12);
  storeU32le(masks.data(), 0xFF0000);
  storeU32le(masks.data() + 4, 0x00FF00);
  storeU32le(masks.data() + 8, 0x0000FF);
  // Top row first in the argument, so the bitmap is declared top-down.
  const Bytes info = bitmapInfo(width, -height, 32, 3, 0, masks);
  Bytes plain(pixels.size() * 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) storeU32le(plain.data() + 4 * i, pixels[i]);
  return compressedBlock(info, plain);
}

Bytes WireMessage::wire() const {
  const auto length = wireHeaderLength(header.type()).value_or(1);
  Bytes out(header.header.begin(), header.header.begin() + static_cast<std::ptrdiff_t>(length));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

WireMessage screenUpdate(std::uint8_t type, std::uint16_t x, std::uint16_t y, std::uint16_t width,
                         std::uint16_t height, std::uint16_t colourFlag, Bytes block, std::uint32_t headerLength) {
  WireMessage m;
  m.header.setType(type);
  m.header.setU16At(2, x);
  m.header.setU16At(4, y);
  m.header.setU16At(6, width);
  m.header.setU16At(8, height);
  m.header.setU16At(10, colourFlag);
  m.header.setU32At(12, static_cast<std::uint32_t>(block.size()));
  m.header.setU32At(16, headerLength);
  m.payload = std::move(block);
  return m;
}

WireMessage screenFormat(std::uint16_t width, std::uint16_t height, Bytes colourTable) {
  WireMessage m;
  m.header.setType(ConsoleMessage::kScreenFormat);
  m.header.setU16At(2, width);
  m.header.setU16At(4, height);
  m.header.setU16At(6, static_cast<std::uint16_t>(colourTable.size()));
  m.payload = std::move(colourTable);
  return m;
}

}  // namespace vantrel::testing
