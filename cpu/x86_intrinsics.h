// The x86 vector intrinsics for the accelerated kernels, on x86 builds only
// (MG_X86_INTRINSICS is then 1). GCC 12 reports the deliberately undefined
// values inside its own AVX-512 headers as uninitialised once they are
// inlined into a function that enables AVX-512, a false positive of that
// compiler; the warning is silenced for the headers alone.
#ifndef MG_CPU_X86_INTRINSICS_H
#define MG_CPU_X86_INTRINSICS_H

#if defined(__i386__) || defined(__x86_64__)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#define MG_X86_INTRINSICS 1
#endif

#endif
