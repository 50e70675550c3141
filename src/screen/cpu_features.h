#pragma once
// Vector instructions beyond what the build's flags allow, found at run time. Only x86-64
// builds with GCC or Clang look for them (functions compiled for them carry a target
// attribute); every other build keeps to its flags and the portable code.

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VANTREL_X86_AT_RUN_TIME 1
#else
#define VANTREL_X86_AT_RUN_TIME 0
#endif

// The byte-shuffle paths (SSSE3): found at run time on x86-64, and always there in a
// WebAssembly build with 128-bit SIMD, where Emscripten's SSE headers map them onto it.
#if VANTREL_X86_AT_RUN_TIME
#define VANTREL_SHUFFLE_PATHS 1
#define VANTREL_TARGET_SSSE3 __attribute__((target("ssse3")))
#elif defined(__wasm_simd128__) && defined(__SSSE3__)
#define VANTREL_SHUFFLE_PATHS 1
#define VANTREL_TARGET_SSSE3
#else
#define VANTREL_SHUFFLE_PATHS 0
#endif

namespace vantrel::cpu {

#if VANTREL_X86_AT_RUN_TIME
inline bool hasSsse3() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return has;
}

inline bool hasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}
#elif VANTREL_SHUFFLE_PATHS
inline bool hasSsse3() { return true; }
#endif

}  // namespace vantrel::cpu
