// The engine's random generator: a linear congruential generator (state *
// 214013 + 2531011 mod 2^32, yielding (state >> 16) & 32767). Hosts store
// seeds to bring back a variant, so this sequence must never change.
//
// Every thread has a generator of its own, which starts from state 1. Every
// environment has a stream of its own (random_stream): a build starts it
// where the building thread's generator stands, and while a host call runs
// in the environment (stream_binding) each of the call's draws continues
// that stream and leaves the thread's generator where the draw left the
// stream. A call in an environment therefore continues exactly where the
// environment's previous call stopped, whichever thread makes it and
// whatever other environments drew meanwhile; while nothing else draws,
// that is just where the thread's generator stands, as it always was.
//
// A host's seed waits for the next create on its thread, which takes it
// (take_host_seed) whether that build draws anything or not: it never
// reaches another environment's stream.
#pragma once

#include <atomic>
#include <cstdint>

// Seeds this thread's generator (the host's seed also goes through
// seed_by_host; the engine's clock seeding only through this).
void seed_generator(uint32_t seed) noexcept;
// The host's seed: seeds this thread's generator, marks the thread as
// seeded and keeps the seed for the thread's next create.
void seed_by_host(uint32_t seed) noexcept;
// At a create: when a host's seed waits on this thread, seeds the thread's
// generator with it (the build's stream starts there), forgets it and
// returns true.
bool take_host_seed() noexcept;
// Whether the host seeded this thread's generator (then creates on this
// thread no longer seed it from the clock).
bool generator_seeded() noexcept;
// The next number 0..32767: from the stream bound to this thread, if any,
// else from the thread's generator.
int32_t random_draw() noexcept;
// One draw times 2^-15: one of 0, 1/32768, ..., 32767/32768.
double random_unit() noexcept;
// low + trunc(random_unit() * (high - low + 1)), computed in floating point.
int32_t random_between(int32_t low, int32_t high) noexcept;

// Outcomes chosen by a caller instead of the generator, for a tool that
// visits every variant of an algorithm in turn. While one is bound to a
// thread (draw_choice_binding), every draw on that thread asks it and
// leaves the generator and the streams as they are.
class draw_chooser {
 public:
  // One of `outcomes` equally likely outcomes, 0 to outcomes - 1: a
  // random_between over n <= 32768 integers has n outcomes, any other draw
  // 32768 (the generator's own).
  virtual uint32_t choose(uint32_t outcomes) = 0;

 protected:
  ~draw_chooser() = default;
};

class draw_choice_binding {
 public:
  explicit draw_choice_binding(draw_chooser& chooser) noexcept;
  ~draw_choice_binding();
  draw_choice_binding(const draw_choice_binding&) = delete;
  draw_choice_binding& operator=(const draw_choice_binding&) = delete;

 private:
  draw_chooser* previous_;
};

// The draws of one environment. Calls on several threads may draw from it
// at once: each draw takes the next state atomically.
class random_stream {
 public:
  // The stream starts where this thread's generator stands (at a build).
  void start_here() noexcept;

 private:
  friend int32_t random_draw() noexcept;
  std::atomic<uint32_t> state_{1};
};

// Binds this thread's draws to `stream` for its lifetime: one host call in
// the stream's environment. Bindings nest.
class stream_binding {
 public:
  explicit stream_binding(random_stream& stream) noexcept;
  ~stream_binding();
  stream_binding(const stream_binding&) = delete;
  stream_binding& operator=(const stream_binding&) = delete;

 private:
  random_stream* previous_;
};
