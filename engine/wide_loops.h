#pragma once

// Marks a hot loop's function to be compiled for AVX-512 (x86-64-v4), AVX2 and the baseline,
// with the choice made once at load time. All do the same IEEE operations in the same order
// (no fused multiply-add), so they give the same bits. ENGINE_BASELINE_LOOPS_ONLY keeps the
// baseline alone, to test it on a machine that would choose a wider version.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(ENGINE_BASELINE_LOOPS_ONLY)
#define WIDE_LOOPS __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define WIDE_LOOPS
#endif
