// Which vector kernels run: the one place that knows the processor.
//
// The kernels are written with SSE2 and SSSE3 intrinsics. They are compiled for
// x86-64, where SSE2 is the baseline and SSSE3 is checked at run time, and for
// WebAssembly built with SIMD and SSSE3 (-msimd128 -mssse3), where the
// compiler maps the intrinsics and the choice is made at build time. Any other
// target compiles only the scalar paths. Tests turn the vector paths off to
// run the scalar paths that processors without them take.
#pragma once

#if defined(__x86_64__) || defined(_M_X64) || (defined(__wasm_simd128__) && defined(__SSSE3__))
#define PIXMORA_SSE_KERNELS 1
#endif
#if defined(__x86_64__) || defined(_M_X64)
#define PIXMORA_CLMUL_KERNELS 1
#endif
// Not on Windows, where GCC does not align the stack for the 32-byte vectors
// it spills there.
#if defined(__x86_64__) && !defined(_WIN32)
#define PIXMORA_AVX2_KERNELS 1
#endif

// True unless turned off. Where PIXMORA_SSE_KERNELS is defined, true means the
// SSE2 kernels run.
bool vectorPathsEnabled();
void setVectorPathsEnabled(bool enabled);

// Whether the SSSE3 kernels run: the vector paths on and the processor able.
bool ssse3PathsEnabled();

// Whether the carry-less multiply kernels (PCLMULQDQ) run: the vector paths on
// and the processor able; never in WebAssembly, which has no such instruction.
bool clmulPathsEnabled();

// Whether the AVX2 kernels run: the vector paths on and the processor able.
bool avx2PathsEnabled();
