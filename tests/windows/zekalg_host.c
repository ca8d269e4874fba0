/* A Windows host of zekalg.dll, as a real application would load it: with
 * LoadLibrary and GetProcAddress, nothing linked at build time.
 *
 *   zekalg_host conformance DLL CASES
 *     resolves every function by its decorated name, its plain name and both
 *     ordinals, checks that all of them give one address and that nothing
 *     else is exported under the names and ordinals a host might try, then
 *     runs the conformance cases through the resolved functions, and checks
 *     that each thread draws from its own generator.
 *
 *   zekalg_host draw DLL COUNT OUTPUT READY START
 *     one side of the two-process test: loads the DLL, releases the
 *     semaphore READY, waits for the event START, then creates (and kills)
 *     COUNT environments and writes their ids to OUTPUT, one a line.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "conformance/conformance.h"

struct export_row {
  const char* decorated;
  int decorated_ordinal;
  const char* plain;
  int plain_ordinal;
};

/* The export table: both names of a function and their ordinals. */
static const struct export_row kExports[] = {
    {"_zekalg_create_environment@16", 1, "zekalg_create_environment", 7},
    {"_zekalg_kill_environment@4", 2, "zekalg_kill_environment", 8},
    {"_zekalg_list_capabilities@4", 3, "zekalg_list_capabilities", 9},
    {"_zekalg_seed_environment@4", 4, "zekalg_seed_environment", 10},
    {"_zekalg_solve_var16@16", 5, "zekalg_solve_var16", 12},
    {"_zekalg_solve_var@16", 6, "zekalg_solve_var", 11},
};
enum { kExportCount = sizeof kExports / sizeof kExports[0] };

/* Names the compiler or other tool chains would have exported instead. */
static const char* const kForeignNames[] = {
    "zekalg_create_environment@16",
    "zekalg_solve_var@16",
    "_zekalg_create_environment",
    "DllMain@12",
};

static HMODULE load(const char* path) {
  HMODULE module = LoadLibraryA(path);
  if (module == NULL) fprintf(stderr, "cannot load %s (error %lu)\n", path, GetLastError());
  return module;
}

static FARPROC by_ordinal(HMODULE module, int ordinal) {
  return GetProcAddress(module, (LPCSTR)(ULONG_PTR)ordinal);
}

/* Resolves every function four ways into `addresses`; returns the number
 * of disagreements, each reported. */
static int resolve_all(HMODULE module, FARPROC addresses[kExportCount]) {
  int failures = 0;
  int i;
  for (i = 0; i < kExportCount; ++i) {
    const struct export_row* row = &kExports[i];
    FARPROC decorated = GetProcAddress(module, row->decorated);
    FARPROC plain = GetProcAddress(module, row->plain);
    FARPROC first = by_ordinal(module, row->decorated_ordinal);
    FARPROC second = by_ordinal(module, row->plain_ordinal);
    addresses[i] = decorated;
    if (decorated == NULL || decorated != plain || decorated != first || decorated != second) {
      fprintf(stderr, "%s: decorated %#lx, plain %#lx, ordinal %d %#lx, ordinal %d %#lx\n",
              row->plain, (unsigned long)(ULONG_PTR)decorated, (unsigned long)(ULONG_PTR)plain,
              row->decorated_ordinal, (unsigned long)(ULONG_PTR)first, row->plain_ordinal,
              (unsigned long)(ULONG_PTR)second);
      ++failures;
    }
  }
  for (i = 0; i < (int)(sizeof kForeignNames / sizeof kForeignNames[0]); ++i) {
    if (GetProcAddress(module, kForeignNames[i]) != NULL) {
      fprintf(stderr, "unexpected export %s\n", kForeignNames[i]);
      ++failures;
    }
  }
  if (by_ordinal(module, 13) != NULL) {
    fprintf(stderr, "unexpected export at ordinal 13\n");
    ++failures;
  }
  /* The six functions are six distinct entry points. */
  for (i = 0; i < kExportCount; ++i) {
    int j;
    for (j = i + 1; j < kExportCount; ++j) {
      if (addresses[i] != NULL && addresses[i] == addresses[j]) {
        fprintf(stderr, "%s and %s share an address\n", kExports[i].plain, kExports[j].plain);
        ++failures;
      }
    }
  }
  return failures;
}

/* Each thread has its own generator: a seed given on the main thread leaves
 * another thread's state at its start value 1, while the seeded flag, being
 * per process, keeps that thread from seeding from the clock. */
static const char kThreeDraws[] = "r_a|1|9|1|0\nr_b|1|9|1|0\nr_c|1|9|1|0";

static void solve_third_draw(const struct zekalg_functions* api, char* result, size_t size) {
  char message[256];
  int32_t length = sizeof message;
  int32_t id = api->create_environment(0, kThreeDraws, message, &length);
  length = (int32_t)size;
  result[0] = '\0';
  if (id <= 0 || api->solve_var(id, "c", result, &length) != 0) snprintf(result, size, "failed");
  api->kill_environment(id);
}

struct thread_job {
  const struct zekalg_functions* api;
  char result[64];
};

static DWORD WINAPI draw_on_thread(LPVOID parameter) {
  struct thread_job* job = (struct thread_job*)parameter;
  solve_third_draw(job->api, job->result, sizeof job->result);
  return 0;
}

static int check_thread_generators(const struct zekalg_functions* api) {
  struct thread_job job;
  char mine[64];
  HANDLE thread;
  job.api = api;
  job.result[0] = '\0';
  api->seed_environment(987654321);
  thread = CreateThread(NULL, 0, draw_on_thread, &job, 0, NULL);
  if (thread == NULL || WaitForSingleObject(thread, 60000) != WAIT_OBJECT_0) {
    fprintf(stderr, "threads: the drawing thread did not run\n");
    return 1;
  }
  CloseHandle(thread);
  solve_third_draw(api, mine, sizeof mine);
  /* State 1 draws 1, 6, 2; the seed draws 3, 8, 7. */
  if (strcmp(job.result, "2") != 0 || strcmp(mine, "7") != 0) {
    fprintf(stderr, "threads: expected 2 on the new thread and 7 on the seeded one, got %s and %s\n",
            job.result, mine);
    return 1;
  }
  printf("threads: one generator per thread\n");
  return 0;
}

static int run_conformance(const char* dll, const char* cases) {
  FARPROC f[kExportCount];
  struct zekalg_functions api;
  struct conformance_suite suite;
  char message[2048];
  int failures;
  size_t i;
  HMODULE module = load(dll);
  if (module == NULL) return 1;

  failures = resolve_all(module, f);
  printf("resolution: %s\n", failures == 0 ? "all names and ordinals agree" : "FAILED");
  if (failures != 0) return 1;

  /* The casts go through a plain function pointer type: FARPROC's own
   * signature is unrelated to the real one. */
  api.create_environment = (int32_t(ZEKALG_CALL*)(int32_t, const char*, char*, int32_t*))(void (*)(void))f[0];
  api.kill_environment = (int32_t(ZEKALG_CALL*)(int32_t))(void (*)(void))f[1];
  api.list_capabilities = (void(ZEKALG_CALL*)(const char*))(void (*)(void))f[2];
  api.seed_environment = (void(ZEKALG_CALL*)(int32_t))(void (*)(void))f[3];
  api.solve_var16 = (int32_t(ZEKALG_CALL*)(int32_t, const char*, char*, int32_t*))(void (*)(void))f[4];
  api.solve_var = (int32_t(ZEKALG_CALL*)(int32_t, const char*, char*, int32_t*))(void (*)(void))f[5];

  if (!conformance_load(cases, &suite, message, sizeof message)) {
    fprintf(stderr, "%s\n", message);
    return 1;
  }
  for (i = 0; i < suite.count; ++i) {
    if (!conformance_run(&api, &suite.cases[i], message, sizeof message)) {
      printf("FAIL %s: %s\n", suite.cases[i].name, message);
      ++failures;
    }
  }
  printf("conformance: %d of %d cases passed\n", (int)suite.count - failures, (int)suite.count);
  failures += check_thread_generators(&api);
  conformance_free(&suite);
  api.list_capabilities("done");
  FreeLibrary(module);
  return failures == 0 ? 0 : 1;
}

static int draw(const char* dll, int count, const char* output, const char* ready_name,
                const char* start_name) {
  typedef int32_t(ZEKALG_CALL * create_fn)(int32_t, const char*, char*, int32_t*);
  typedef int32_t(ZEKALG_CALL * kill_fn)(int32_t);
  HANDLE ready = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, ready_name);
  HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, start_name);
  HMODULE module = load(dll);
  create_fn create;
  kill_fn kill;
  FILE* out;
  int i;
  if (ready == NULL || start == NULL || module == NULL) {
    fprintf(stderr, "draw: set-up failed (error %lu)\n", GetLastError());
    return 1;
  }
  create = (create_fn)(void (*)(void))GetProcAddress(module, "zekalg_create_environment");
  kill = (kill_fn)(void (*)(void))GetProcAddress(module, "zekalg_kill_environment");
  out = fopen(output, "w");
  if (create == NULL || kill == NULL || out == NULL) {
    fprintf(stderr, "draw: cannot resolve the functions or open %s\n", output);
    return 1;
  }
  ReleaseSemaphore(ready, 1, NULL);
  if (WaitForSingleObject(start, 60000) != WAIT_OBJECT_0) {
    fprintf(stderr, "draw: no start signal\n");
    return 1;
  }
  for (i = 0; i < count; ++i) {
    char message[256];
    int32_t length = sizeof message;
    int32_t id = create(0, "k_a|1", message, &length);
    fprintf(out, "%d\n", (int)id);
    kill(id);
  }
  fclose(out);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "conformance") == 0) return run_conformance(argv[2], argv[3]);
  if (argc == 7 && strcmp(argv[1], "draw") == 0)
    return draw(argv[2], atoi(argv[3]), argv[4], argv[5], argv[6]);
  fprintf(stderr,
          "usage: zekalg_host conformance DLL CASES\n"
          "       zekalg_host draw DLL COUNT OUTPUT READY START\n");
  return 2;
}
