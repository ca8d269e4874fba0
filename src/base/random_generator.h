// The engine's random generator: one linear congruential generator per
// thread (state * 214013 + 2531011 mod 2^32, yielding (state >> 16) & 32767).
// A thread that was never seeded starts from state 1. Hosts store seeds to
// bring back a variant, so this sequence must never change. The state and
// the seeded flag belong to the calling thread; they are plain thread-local
// integers, with no destructor to run when a thread ends.
#pragma once

#include <cstdint>

void seed_generator(uint32_t seed) noexcept;
// Whether the host seeded this thread's generator (then creates on this
// thread no longer seed it from the clock).
bool generator_seeded() noexcept;
void mark_generator_seeded() noexcept;
// The next number 0..32767.
int32_t random_draw() noexcept;
// One draw times 2^-15: one of 0, 1/32768, ..., 32767/32768.
double random_unit() noexcept;
// low + trunc(random_unit() * (high - low + 1)), computed in floating point.
int32_t random_between(int32_t low, int32_t high) noexcept;
