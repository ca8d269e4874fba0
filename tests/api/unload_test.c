/* The shared library loaded and unloaded again and again, as a host with
 * plug-ins does: each time one create, solve and kill. Unloading gives
 * back what the library allocated, so the process does not grow with the
 * cycles (about 25 KB a cycle before it did). */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SANITIZED 1 /* their allocators keep freed memory: no bound on growth */
#else
#define SANITIZED 0
#endif

typedef int32_t (*create_fn)(int32_t, const char*, char*, int32_t*);
typedef int32_t (*solve_fn)(int32_t, const char*, char*, int32_t*);
typedef int32_t (*kill_fn)(int32_t);

static long resident_kib(void) {
  long pages = 0;
  long resident = 0;
  FILE* f = fopen("/proc/self/statm", "r");
  if (f == NULL) return -1;
  if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
  fclose(f);
  return resident < 0 ? -1 : resident * 4;
}

/* One cycle; 0 when the library answered as expected. */
static int cycle(void) {
  char text[64];
  int32_t length = sizeof text;
  int failed = 1;
  void* library = dlopen(ZEKALG_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  create_fn create = (create_fn)dlsym(library, "zekalg_create_environment");
  solve_fn solve = (solve_fn)dlsym(library, "zekalg_solve_var");
  kill_fn kill = (kill_fn)dlsym(library, "zekalg_kill_environment");
  if (create != NULL && solve != NULL && kill != NULL) {
    const int32_t id = create(0, "r_a|1|9\nq_b|a/4|2", text, &length);
    length = sizeof text;
    failed = id <= 0 || solve(id, "b*0+1.5", text, &length) != 0 || strcmp(text, "1.50") != 0;
    kill(id);
  }
  dlclose(library);
  return failed;
}

int main(void) {
  enum { kWarmUp = 20, kCycles = 200 };
  int failures = 0;
  for (int i = 0; i < kWarmUp; ++i) failures += cycle();
  const long before = resident_kib();
  for (int i = 0; i < kCycles; ++i) failures += cycle();
  const long grown = resident_kib() - before;
  printf("%d cycles: resident memory grew by %ld KiB\n", kCycles, grown);
  if (!SANITIZED && before > 0 && grown > 2048) {
    fprintf(stderr, "grew by more than 2 MiB\n");
    ++failures;
  }
  printf("%d passed, %d failed\n", failures == 0 ? 1 : 0, failures == 0 ? 0 : 1);
  return failures == 0 ? 0 : 1;
}
