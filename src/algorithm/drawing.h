// Random and list variables, conditions, and the loop that builds an
// environment: load the definitions, check the conditions in table order and
// start over with fresh draws until every condition holds (1000 attempts).
// Only what the conditions need is drawn here; the rest is drawn by the
// first solve that needs it. Draws come from the environment's own stream,
// which the build starts where the calling thread's generator stands.
#pragma once

#include "algorithm/call_context.h"
#include "base/alg_array.h"

inline constexpr int max_attempts = 1000;

// Builds `env` (not yet seen by any other call) from the algorithm text.
// Raises z_x_condition_not_satisfied when no attempt succeeds, or the first
// error raised while an attempt runs (errors are not retried; only a false
// condition is). `observer`, when given, hears of every attempt and check.
void initialise_environment(alg_environment& env, const alg_string& algorithm,
                            translation_store& translations, build_observer* observer = nullptr);

// 0 when every condition holds; otherwise the record of the first
// condition that does not.
uint32_t failed_condition(env_frame& frame);

// The value of an "r_" line: a real drawn from low..high in steps (one draw).
// Its format fields are left in `state`.
alg_value draw_random(env_frame& frame, definition_state& state, const prepared_fields& prepared,
                      const alg_string& name);
// The value of an "l_" line: the choice at its group's position, which is
// fixed by the first variable of the group and survives every attempt.
alg_value pick_from_list(env_frame& frame, const prepared_fields& prepared, const alg_string& name);
