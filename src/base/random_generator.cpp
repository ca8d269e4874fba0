#include "base/random_generator.h"

#include <cmath>

#include "base/number_cast.h"

namespace {

// Plain thread-local values, with no destructor to run when a thread ends.
thread_local uint32_t generator_state = 1;
thread_local bool generator_seeded_by_host = false;
// A host's seed that no create on this thread has taken yet.
thread_local bool host_seed_waiting = false;
thread_local uint32_t waiting_seed = 0;
thread_local random_stream* bound_stream = nullptr;
thread_local draw_chooser* bound_chooser = nullptr;

constexpr uint32_t next_state(uint32_t state) noexcept { return state * 214013u + 2531011u; }
constexpr int32_t output_of(uint32_t state) noexcept {
  return static_cast<int32_t>((state >> 16) & 32767u);
}

}  // namespace

void seed_generator(uint32_t seed) noexcept { generator_state = seed; }

void seed_by_host(uint32_t seed) noexcept {
  generator_state = seed;
  generator_seeded_by_host = true;
  host_seed_waiting = true;
  waiting_seed = seed;
}

bool take_host_seed() noexcept {
  if (!host_seed_waiting) return false;
  host_seed_waiting = false;
  generator_state = waiting_seed;
  return true;
}

bool generator_seeded() noexcept { return generator_seeded_by_host; }

int32_t random_draw() noexcept {
  if (bound_chooser != nullptr) return static_cast<int32_t>(bound_chooser->choose(32768) & 32767u);
  random_stream* stream = bound_stream;
  if (stream == nullptr) {
    generator_state = next_state(generator_state);
    return output_of(generator_state);
  }
  uint32_t state = stream->state_.load(std::memory_order_relaxed);
  uint32_t next = next_state(state);
  while (!stream->state_.compare_exchange_weak(state, next, std::memory_order_relaxed)) {
    next = next_state(state);
  }
  generator_state = next;
  return output_of(next);
}

double random_unit() noexcept { return random_draw() * (1.0 / 32768.0); }

int32_t random_between(int32_t low, int32_t high) noexcept {
  const double span = static_cast<double>(high) - static_cast<double>(low) + 1.0;
  // Every one of at most 32768 integers is some draw's outcome: a chooser
  // picks among them alone.
  if (bound_chooser != nullptr && span >= 1.0 && span <= 32768.0) {
    const auto outcomes = static_cast<uint32_t>(span);
    const uint32_t k = bound_chooser->choose(outcomes);
    return truncate_to_int32(static_cast<double>(low) + (k < outcomes ? k : 0));
  }
  const double offset = std::trunc(random_unit() * span);
  return truncate_to_int32(static_cast<double>(low) + offset);
}

draw_choice_binding::draw_choice_binding(draw_chooser& chooser) noexcept
    : previous_(bound_chooser) {
  bound_chooser = &chooser;
}

draw_choice_binding::~draw_choice_binding() { bound_chooser = previous_; }

void random_stream::start_here() noexcept {
  state_.store(generator_state, std::memory_order_relaxed);
}

stream_binding::stream_binding(random_stream& stream) noexcept : previous_(bound_stream) {
  bound_stream = &stream;
}

stream_binding::~stream_binding() { bound_stream = previous_; }
