// memcpy for the module. The C library's copies four bytes a step at best, and one byte a step
// where source and destination are aligned differently; the viewer moves megabytes for each
// dense update (the assembled message, the window's copy of the picture), so this one moves
// sixty-four bytes a step in SIMD registers. The library's memmove calls memcpy for copies that
// do not overlap, so those gain too. Built with -fno-builtin: its own loops must not become
// calls to memcpy.
#include <wasm_simd128.h>

#include <cstddef>
#include <cstdint>

extern "C" void* memcpy(void* __restrict to, const void* __restrict from, std::size_t n) {
  auto* d = static_cast<std::uint8_t*>(to);
  const auto* s = static_cast<const std::uint8_t*>(from);
  for (; n >= 64; n -= 64, d += 64, s += 64) {
    const v128_t a = wasm_v128_load(s), b = wasm_v128_load(s + 16), c = wasm_v128_load(s + 32),
                 e = wasm_v128_load(s + 48);
    wasm_v128_store(d, a);
    wasm_v128_store(d + 16, b);
    wasm_v128_store(d + 32, c);
    wasm_v128_store(d + 48, e);
  }
  for (; n >= 16; n -= 16, d += 16, s += 16) wasm_v128_store(d, wasm_v128_load(s));
  for (; n > 0; --n) *d++ = *s++;
  return to;
}
