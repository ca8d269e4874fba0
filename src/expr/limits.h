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
inline constexpr int64_t max_user_function_expansions = 10000;

// Bytes of formula text one host call may rewrite, all attempts of a build
// and all expansions included. Real algorithms stay far below it (about a
// megabyte for a build that rejects most of its 1000 attempts); what passes
// it stops with z_x_work_limit in well under a second.
inline constexpr int64_t max_work_per_call = int64_t{64} << 20;
