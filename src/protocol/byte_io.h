#pragma once
// Little-endian loads and stores, and a reader for untrusted bytes that checks every
// read against what is left and keeps a sticky failure flag (it never reads past the end).

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantrel {

inline std::uint16_t loadU16le(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t loadU32le(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void storeU16le(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void storeU32le(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint8_t readU8() { return has(1) ? bytes_[pos_++] : fail<std::uint8_t>(); }
  std::uint16_t readU16le() { return has(2) ? advance(2, loadU16le(here())) : fail<std::uint16_t>(); }
  std::uint32_t readU32le() { return has(4) ? advance(4, loadU32le(here())) : fail<std::uint32_t>(); }

  // The next n bytes, or an empty span (and the failure flag) when fewer are left.
  std::span<const std::uint8_t> readBytes(std::size_t n) {
    if (!has(n)) return fail<std::span<const std::uint8_t>>();
    auto out = bytes_.subspan(pos_, n);
    pos_ += n;
    return out;
  }

  bool ok() const { return ok_; }
  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return bytes_.size() - pos_; }

 private:
  bool has(std::size_t n) const { return ok_ && n <= bytes_.size() - pos_; }
  const std::uint8_t* here() const { return bytes_.data() + pos_; }
  template <typename T>
  T advance(std::size_t n, T value) {
    pos_ += n;
    return value;
  }
  template <typename T>
  T fail() {
    ok_ = false;
    return T{};
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace vantrel
