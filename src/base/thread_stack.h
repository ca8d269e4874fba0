// thread_stack: how much room the calling thread's stack has left, where the
// platform tells where that stack ends (Linux, Windows, macOS). Evaluations nest on
// the machine stack; each nested level asks here first, so that a host
// thread with a small stack gets a "stack overflow" error, never a crash.
#pragma once

#include <cstddef>

// Bytes kept free below the deepest nested level: the work between two
// levels (translating and planning a formula, a built-in, writing a number)
// and an error thrown from there and caught on its way out. Sanitized
// builds take about three times as much stack per frame.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr size_t stack_reserve = size_t{192} << 10;
#else
inline constexpr size_t stack_reserve = size_t{64} << 10;
#endif

// Whether less than stack_reserve bytes (on a stack smaller than twice
// that, half the stack) are left below the caller. False
// where the end of the stack is not known: other platforms, the main thread
// of a C library that does not say how far its stack may grow, and a thread
// running on a stack of its own making (a fiber, a signal stack).
bool stack_running_low() noexcept;
