/*
 * zekalg: an engine for algorithmic questions.
 *
 * A host hands the engine an algorithm (lines defining constants, formula
 * variables, random and list variables, conditions and functions), gets an
 * environment id back, and asks for expressions to be solved in it.
 *
 * Texts are single bytes (Windows-1252). In results, negative numbers start
 * with byte 150, the en dash, instead of '-'.
 *
 * Result text protocol (the solve functions always, create on failure):
 * the caller passes a buffer and, through `length`, its size S in bytes.
 * The engine copies at most S - 1 bytes of the text and a terminating NUL,
 * then stores the text's FULL length L through `length`. The text was cut
 * when the returned length is S or more: call again with a buffer of at
 * least L + 1 bytes. With S <= 0 or a null buffer nothing is written to the
 * buffer, and L is still stored. A null text argument reads as "".
 * A result may contain NUL bytes (a formula can build one with chr(0)):
 * the returned length, not strlen, gives its size.
 *
 * Bounds: every call does bounded work. No text the engine builds is longer
 * than 1 MiB (past it the call fails: "Unknown error occurred.", or
 * "NAME: unexpected error occurred" inside a variable), and a call that
 * rewrites more than 64 MiB of formula text stops with "work limit
 * reached: ...". Real algorithms stay far below both.
 *
 * Ownership: every pointer argument is borrowed for the duration of the call
 * only; the engine keeps no pointer into caller memory and never allocates
 * anything the caller must free. Environments belong to the engine until
 * zekalg_kill_environment; an environment that is never killed lives until
 * the process ends.
 *
 * Status codes: the solve functions return ZEKALG_OK (0),
 * ZEKALG_ERROR_ALGORITHM (-1, the text is the engine's English message) or
 * ZEKALG_ERROR_UNKNOWN (-2, the text is "Unknown error occurred."). Create
 * returns a positive id, or -1 for every failure. No function ever lets an
 * exception, signal or longjmp cross the interface.
 *
 * Threads: every function may be called from any thread at any time, with
 * no lock in the host. Calls on environments that share nothing run in
 * parallel, and so do calls on many environments built on one shared base
 * environment: a base is locked only while one of its values is computed
 * for the first time. Killing an environment (or a base) that another
 * thread is using is safe: the kill takes effect when the last call using
 * it ends, and later calls see the id as unknown. Environment ids come from
 * a counter shared by every process that loads the library. Give calling
 * threads at least 512 KiB of stack: on Linux and Windows a smaller stack
 * makes deeply nested calls fail with "stack overflow", elsewhere it may
 * crash the process.
 *
 * Seeds: one seed gives one variant. Seed, then create, on the same thread:
 * the create takes the seed, whether its algorithm draws anything while it
 * is built or not, and the environment's draws start from it. Every later
 * call in the environment continues its own stream of draws where its
 * previous call stopped, on whatever thread it runs and whatever other
 * environments draw meanwhile. A seed waits for the thread's next create:
 * a seed given between two calls on an existing environment changes
 * nothing in it. Draws for a base environment made during a call in an
 * environment built on it come from that environment's stream (and stay
 * in the base for every environment on it). An environment created with no
 * seed of its own starts from the clock on a thread that never seeded;
 * on a thread that did, it starts where the thread's last draw left off
 * (the end of the previous environment's draws on this thread), so its
 * variant depends on those calls: seed before every create to avoid that.
 * Nearby seeds (1, 2, 3, ...) draw nearly the same first values: spread
 * them (docs/seeds.md).
 *
 * Version: ZEKALG_VERSION_MAJOR/MINOR/PATCH give the version of this header;
 * a change of the major number breaks compatibility.
 */
#ifndef ZEKALG_ZEKALG_H
#define ZEKALG_ZEKALG_H

#include <stdint.h>

#define ZEKALG_VERSION_MAJOR 0
#define ZEKALG_VERSION_MINOR 1
#define ZEKALG_VERSION_PATCH 0

#if defined(_WIN32)
#define ZEKALG_CALL __stdcall
#if defined(ZEKALG_BUILDING)
/* The module-definition file alone names the exports and their ordinals. */
#define ZEKALG_API
#else
#define ZEKALG_API __declspec(dllimport)
#endif
#else
#define ZEKALG_CALL
#if defined(ZEKALG_BUILDING)
#define ZEKALG_API __attribute__((visibility("default")))
#else
#define ZEKALG_API
#endif
#endif

/* Status codes of the solve functions (create returns -1 on failure). */
#define ZEKALG_OK 0
/* An error in the algorithm or the expression; the text is its message. */
#define ZEKALG_ERROR_ALGORITHM (-1)
/* Any other failure; the text is "Unknown error occurred." */
#define ZEKALG_ERROR_UNKNOWN (-2)

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Builds an environment from `algorithm` (on top of `base_id` when that
 * names a live environment; 0 means none) and draws its variables until
 * every condition holds. Returns the new id (positive). On failure returns
 * -1 and delivers the message into `message` by the result text protocol;
 * on success `message` and `length` are left untouched. `algorithm` is a
 * NUL-terminated text of definition lines separated by line feeds (a
 * carriage return before each is allowed). `length` must point to the size of
 * `message`. A failed create still uses up an id. The base environment must
 * stay alive while this one is used; killing it first makes this one forget
 * its base.
 */
ZEKALG_API int32_t ZEKALG_CALL zekalg_create_environment(int32_t base_id, const char* algorithm,
                                                         char* message, int32_t* length);

/*
 * Destroys environment `id` and everything it owns. Always returns 0, also
 * for ids that name no live environment (so killing twice is harmless).
 */
ZEKALG_API int32_t ZEKALG_CALL zekalg_kill_environment(int32_t id);

/*
 * Solves `expression` (a variable name or a formula) in environment `id` and
 * delivers the formatted result into `result` by the result text protocol.
 * Returns ZEKALG_OK, ZEKALG_ERROR_ALGORITHM with the error message as text,
 * or ZEKALG_ERROR_UNKNOWN. An id that names no live environment gives the
 * empty text and ZEKALG_OK. A solve draws the variables that creation did
 * not need (in definition order) and caches them, so later solves in the
 * same environment see the same values. Numbers come with the decimals,
 * exponent form and thousands grouping their definitions ask for, negative
 * ones with byte 150 in front. `length` must point to the size of `result`.
 */
ZEKALG_API int32_t ZEKALG_CALL zekalg_solve_var(int32_t id, const char* expression, char* result,
                                                int32_t* length);

/* The same as zekalg_solve_var, with the same results and status codes. */
ZEKALG_API int32_t ZEKALG_CALL zekalg_solve_var16(int32_t id, const char* expression, char* result,
                                                  int32_t* length);

/*
 * Seeds the next create on the calling thread with `seed` (read as unsigned
 * 32-bit): that create takes it, whether it draws or not, and the new
 * environment's draws start from it. Seeding twice before a create: the
 * last seed counts. Existing environments are not affected, and neither
 * are other threads. From then on creates on this thread no longer seed
 * from the clock, so the same seed and algorithm draw the same values
 * again.
 */
ZEKALG_API void ZEKALG_CALL zekalg_seed_environment(int32_t seed);

/* Accepts any text (or a null pointer) and does nothing else. */
ZEKALG_API void ZEKALG_CALL zekalg_list_capabilities(const char* text);

#ifdef __cplusplus
}
#endif

#endif /* ZEKALG_ZEKALG_H */
