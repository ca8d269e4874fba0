// The environment id counter, shared by every process that has the engine
// loaded so that ids are unique across processes. It starts at 0 when the
// first such process attaches and is forgotten when the last one is gone.
// A process that cannot share it safely counts on its own instead.
#pragma once

#include <cstdint>

// Atomically advances the counter and returns the new id: 1, 2, ...,
// 2147483646, then 1 again; 0 is never handed out.
int32_t next_environment_id();

// Tests only: stores `value` as the counter's current value.
void set_environment_id_counter(uint32_t value);
