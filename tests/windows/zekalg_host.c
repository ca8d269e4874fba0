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
 *   zekalg_host threads DLL
 *     four threads at once seed their own generators, create environments
 *     (some on one shared base), solve and kill: each must answer exactly as
 *     the same calls made one after another on one thread; then four threads
 *     that never seed must not all draw the same number.
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

/* Each thread has its own generator: a seed given on one thread does not
 * move another thread's sequence. */
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
  job->api->seed_environment(1);
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
  /* Seed 1 draws 1, 6, 2; seed 987654321 draws 3, 8, 7. */
  if (strcmp(job.result, "2") != 0 || strcmp(mine, "7") != 0) {
    fprintf(stderr, "threads: expected 2 on the new thread and 7 on the main one, got %s and %s\n",
            job.result, mine);
    return 1;
  }
  printf("threads: one generator per thread\n");
  return 0;
}

/* The function table from the addresses in kExports order. The casts go
 * through a plain function pointer type: FARPROC's own signature is
 * unrelated to the real one. */
static void fill_functions(FARPROC f[kExportCount], struct zekalg_functions* api) {
  api->create_environment =
      (int32_t(ZEKALG_CALL*)(int32_t, const char*, char*, int32_t*))(void (*)(void))f[0];
  api->kill_environment = (int32_t(ZEKALG_CALL*)(int32_t))(void (*)(void))f[1];
  api->list_capabilities = (void(ZEKALG_CALL*)(const char*))(void (*)(void))f[2];
  api->seed_environment = (void(ZEKALG_CALL*)(int32_t))(void (*)(void))f[3];
  api->solve_var16 =
      (int32_t(ZEKALG_CALL*)(int32_t, const char*, char*, int32_t*))(void (*)(void))f[4];
  api->solve_var =
      (int32_t(ZEKALG_CALL*)(int32_t, const char*, char*, int32_t*))(void (*)(void))f[5];
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

  fill_functions(f, &api);

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

/* The threads mode. Every variable of the shared base is drawn before the
 * threads start, so environments built on it answer alike on any thread. */
static const char kSharedBase[] = "k_m|7\nr_z|1|100\nf_cube|x*x*x|x\nq_w|m*z|2";

struct threaded_algorithm {
  const char* text;
  int on_base;
  const char* requests[5]; /* NULL-terminated */
};

static const struct threaded_algorithm kThreaded[] = {
    {"r_a|1|9\nr_b|1|9\nc_ok|a<>b\nq_s|a+b|0\nq_r|a/b|3\nf_sq|x*x|x",
     0,
     {"a", "s", "r", "sq(b) + r", NULL}},
    {"l_p|g|10|20|30\nl_q|g|40|50|60\nr_k|0|1|0.25|2\nq_v|p*k+q|4\nc_c|q-p=30",
     0,
     {"p", "k", "v", NULL}},
    {"r_c|1|5\nc_c|c<>2\nq_u|cube(c)+m|1\nq_y|w/c|5", 1, {"c", "u", "y", "u + z", NULL}},
    {"r_a|1|1000000", 0, {"a", NULL}}, /* for the threads that never seed */
};
enum { kWorkers = 4, kWorkerRounds = 20 };

struct worker {
  const struct zekalg_functions* api;
  int32_t base;
  int index;
  int seeds;
  char answers[8192];
  size_t used;
  int overflow;
};

/* Creates, solves every request into w->answers, kills. */
static void work_once(struct worker* w, const struct threaded_algorithm* a) {
  char text[256];
  int32_t length = sizeof text;
  const char* const* request;
  int32_t id = w->api->create_environment(a->on_base ? w->base : 0, a->text, text, &length);
  for (request = a->requests; *request != NULL && id > 0; ++request) {
    size_t room = sizeof w->answers - w->used;
    int32_t status;
    int n;
    length = sizeof text;
    status = w->api->solve_var(id, *request, text, &length);
    n = snprintf(w->answers + w->used, room, "%s=%d:%s;", *request, (int)status, text);
    if (n < 0 || (size_t)n >= room)
      w->overflow = 1;
    else
      w->used += (size_t)n;
  }
  w->api->kill_environment(id);
}

static DWORD WINAPI run_worker(LPVOID parameter) {
  struct worker* w = (struct worker*)parameter;
  int round;
  if (!w->seeds) {
    work_once(w, &kThreaded[3]);
    return 0;
  }
  for (round = 0; round < kWorkerRounds; ++round) {
    /* Seeds far apart: neighbouring seeds start with nearly the same draws. */
    w->api->seed_environment((int32_t)(2654435761u * (uint32_t)(100 * w->index + round + 1)));
    work_once(w, &kThreaded[(w->index + round) % 3]);
    work_once(w, &kThreaded[round % 2]);
  }
  return 0;
}

/* Runs the workers all at once, each on a thread of its own. */
static int run_on_threads(struct worker* workers) {
  HANDLE threads[kWorkers];
  int i, started = 0, ok;
  for (i = 0; i < kWorkers; ++i) {
    threads[i] = CreateThread(NULL, 0, run_worker, &workers[i], 0, NULL);
    if (threads[i] != NULL) ++started;
  }
  ok = started == kWorkers &&
       WaitForMultipleObjects(kWorkers, threads, TRUE, 120000) == WAIT_OBJECT_0;
  for (i = 0; i < started; ++i) CloseHandle(threads[i]);
  return ok;
}

static int run_threads(const char* dll) {
  static struct worker alone[kWorkers], together[kWorkers], unseeded[kWorkers];
  FARPROC f[kExportCount];
  struct zekalg_functions api;
  char message[256];
  int32_t length = sizeof message;
  int32_t base;
  int failures = 0, i, same_draws = 1;
  HMODULE module = load(dll);
  if (module == NULL) return 1;
  for (i = 0; i < kExportCount; ++i) f[i] = GetProcAddress(module, kExports[i].plain);
  fill_functions(f, &api);

  api.seed_environment(4242);
  base = api.create_environment(0, kSharedBase, message, &length);
  length = sizeof message;
  if (base <= 0 || api.solve_var(base, "cube(m) + w", message, &length) != 0) {
    fprintf(stderr, "threads: the shared base failed: %s\n", message);
    return 1;
  }
  for (i = 0; i < kWorkers; ++i) {
    alone[i].api = together[i].api = unseeded[i].api = &api;
    alone[i].base = together[i].base = base;
    alone[i].index = together[i].index = i;
    alone[i].seeds = together[i].seeds = 1;
    run_worker(&alone[i]);
  }
  if (!run_on_threads(together) || !run_on_threads(unseeded)) {
    fprintf(stderr, "threads: the threads did not run to the end\n");
    return 1;
  }
  for (i = 0; i < kWorkers; ++i) {
    if (alone[i].overflow || together[i].overflow ||
        strcmp(alone[i].answers, together[i].answers) != 0) {
      size_t at = 0;
      while (at < alone[i].used && alone[i].answers[at] == together[i].answers[at]) ++at;
      fprintf(stderr,
              "threads: thread %d answered differently from byte %d:\n  alone:    %.60s\n"
              "  together: %.60s\n",
              i, (int)at, alone[i].answers + at, together[i].answers + at);
      ++failures;
    }
    if (strcmp(unseeded[i].answers, unseeded[0].answers) != 0) same_draws = 0;
  }
  /* Four draws from a million values all agreeing: the threads that never
   * seeded started from one fixed or shared state. */
  if (same_draws) {
    fprintf(stderr, "threads: every thread that never seeded drew %s\n", unseeded[0].answers);
    ++failures;
  }
  printf("threads: %s\n", failures == 0 ? "each answered as if alone" : "FAILED");
  api.kill_environment(base);
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
  if (argc == 3 && strcmp(argv[1], "threads") == 0) return run_threads(argv[2]);
  if (argc == 7 && strcmp(argv[1], "draw") == 0)
    return draw(argv[2], atoi(argv[3]), argv[4], argv[5], argv[6]);
  fprintf(stderr,
          "usage: zekalg_host conformance DLL CASES\n"
          "       zekalg_host threads DLL\n"
          "       zekalg_host draw DLL COUNT OUTPUT READY START\n");
  return 2;
}
