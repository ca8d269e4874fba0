/* Conformance cases: algorithms, requests and the exact status and bytes the
 * engine must answer, kept in one text file that the native tests and the
 * Windows host both run, so every build is held to the same cases. The
 * runner reaches the engine only through the six C functions, handed over as
 * pointers: linked directly, or resolved from the DLL at run time.
 *
 * File format, one directive a line; blank lines and lines starting with '#'
 * are ignored; TEXT is everything after the directive's single space, with
 * the escapes \n \r \t \\ and \xHH (so byte 150 is \x96):
 *
 *   case NAME           starts a case (NAME: letters, digits, '_')
 *   seed N              seeds the generator (N read as unsigned 32-bit)
 *   create TEXT         creates an environment without a base
 *   derive TEXT         creates one on top of the case's current environment
 *   solve TEXT          solves TEXT in the current environment, through both
 *                       solve functions and into a buffer one byte short
 *   solve-once TEXT     solves TEXT once, through zekalg_solve_var: for
 *                       answers that the solve itself changes (a first solve
 *                       draws and caches what later ones find ready)
 *   kill                kills the current environment (later solves still
 *                       name its id)
 *   use N               makes the case's Nth created environment (from 1)
 *                       the current one again
 *   expect STATUS TEXT  what the step before answers: status and bytes
 *
 * A create without `expect` must succeed and leave the message buffer and
 * length untouched; a failing one is `expect -1 MESSAGE`. Every solve needs
 * an `expect`. A created environment becomes the current one. When a case
 * ends, the environments it created are killed.
 */
#ifndef ZEKALG_TESTS_CONFORMANCE_H
#define ZEKALG_TESTS_CONFORMANCE_H

#include <stddef.h>
#include <stdint.h>

#include "zekalg/zekalg.h"

#ifdef __cplusplus
extern "C" {
#endif

struct zekalg_functions {
  int32_t(ZEKALG_CALL* create_environment)(int32_t, const char*, char*, int32_t*);
  int32_t(ZEKALG_CALL* kill_environment)(int32_t);
  int32_t(ZEKALG_CALL* solve_var)(int32_t, const char*, char*, int32_t*);
  int32_t(ZEKALG_CALL* solve_var16)(int32_t, const char*, char*, int32_t*);
  void(ZEKALG_CALL* seed_environment)(int32_t);
  void(ZEKALG_CALL* list_capabilities)(const char*);
};

enum conformance_action {
  CONFORMANCE_SEED,
  CONFORMANCE_CREATE,
  CONFORMANCE_DERIVE,
  CONFORMANCE_SOLVE,
  CONFORMANCE_SOLVE_ONCE,
  CONFORMANCE_KILL,
  CONFORMANCE_USE
};

struct conformance_step {
  enum conformance_action action;
  int line;
  uint32_t seed; /* for seed; the environment's number for use */
  char* text;    /* algorithm or request, NUL-terminated */
  int has_expectation;
  int32_t expected_status;
  char* expected; /* NUL-terminated; expected_length bytes */
  size_t expected_length;
};

struct conformance_case {
  char* name;
  int line;
  struct conformance_step* steps;
  size_t step_count;
};

struct conformance_suite {
  struct conformance_case* cases;
  size_t count;
};

/* Reads the cases of `path`. Returns 1, or 0 with the reason (and line) in
 * `error`; the suite is then empty. Free with conformance_free. */
int conformance_load(const char* path, struct conformance_suite* suite, char* error,
                     size_t error_size);
void conformance_free(struct conformance_suite* suite);

/* Runs one case. Returns 1 when every step answered as expected; otherwise 0
 * with the first difference described in `report`. */
int conformance_run(const struct zekalg_functions* api, const struct conformance_case* c,
                    char* report, size_t report_size);

#ifdef __cplusplus
}
#endif

#endif /* ZEKALG_TESTS_CONFORMANCE_H */
