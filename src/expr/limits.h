// The limits of the formula language. Stored algorithms depend on where they
// lie, so they never change; tools that check algorithms read them from here.
#pragma once

#include <cstdint>

// Nested evaluations of one environment within a call: while it is being
// built, and once a solve has run in it.
inline constexpr int32_t build_nesting_limit = 100;
inline constexpr int32_t solve_nesting_limit = 20;

// Nested user-function calls in one environment within a call.
inline constexpr int32_t max_call_depth = 50;

// User-function expansions per host call: a recursion that the nesting
// limits cannot see (a solve hands each expansion back to the caller's text)
// still ends, with a stack overflow naming the function.
//
// A fuzzing build (FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION, set by the fuzz
// presets only) lowers this and the work limit below, so that an input that
// runs into them costs a few milliseconds instead of a second: a fuzzer
// meets these limits all the time, and the paths it explores are the same.
// The messages still name the usual limits.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr int64_t max_user_function_expansions = 1000;
#else
inline constexpr int64_t max_user_function_expansions = 10000;
#endif

// Bytes of formula text one host call may rewrite, all attempts of a build
// and all expansions included. Real algorithms stay far below it (about a
// megabyte for a build that rejects most of its 1000 attempts); what passes
// it stops with z_x_work_limit in well under a second.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr int64_t max_work_per_call = int64_t{4} << 20;
#else
inline constexpr int64_t max_work_per_call = int64_t{64} << 20;
#endif
