#include "base/random_generator.h"

#include <cmath>

#include "base/number_cast.h"

namespace {
thread_local uint32_t generator_state = 1;
thread_local bool generator_seeded_by_host = false;
}  // namespace

void seed_generator(uint32_t seed) noexcept { generator_state = seed; }

bool generator_seeded() noexcept { return generator_seeded_by_host; }

void mark_generator_seeded() noexcept { generator_seeded_by_host = true; }

int32_t random_draw() noexcept {
  generator_state = generator_state * 214013u + 2531011u;
  return static_cast<int32_t>((generator_state >> 16) & 32767u);
}

double random_unit() noexcept { return random_draw() * (1.0 / 32768.0); }

int32_t random_between(int32_t low, int32_t high) noexcept {
  const double span = static_cast<double>(high) - static_cast<double>(low) + 1.0;
  const double offset = std::trunc(random_unit() * span);
  return truncate_to_int32(static_cast<double>(low) + offset);
}
