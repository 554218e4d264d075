// The decoder's per-symbol helpers must be inlined into their loops whatever the
// optimisation level: the installer is built for size, and a call per peek or per
// table lookup would cost it more than the code it saves.
#pragma once

#if defined(__GNUC__)
#define ALWAYS_INLINE inline __attribute__((always_inline))
#define NEVER_INLINE __attribute__((noinline))
#else
#define ALWAYS_INLINE inline
#define NEVER_INLINE
#endif
