/* The random series of differential_host.c through the WebAssembly module:
 * the same host program, compiled with Emscripten, whose library is the
 * zekalg module itself. Instead of loading a library it finds the six
 * functions in differential_bridge.js, which copies each call's texts into
 * the module's memory, calls it there and copies the answer back, as the
 * C interface delivers it. The LIBRARY argument is not read. */
#include <dlfcn.h>
#include <stdint.h>
#include <string.h>

int32_t bridge_create_environment(int32_t base_id, const char* algorithm, char* message,
                                  int32_t* length);
int32_t bridge_kill_environment(int32_t id);
int32_t bridge_solve_var(int32_t id, const char* expression, char* result, int32_t* length);
int32_t bridge_solve_var16(int32_t id, const char* expression, char* result, int32_t* length);
void bridge_seed_environment(int32_t seed);
void bridge_list_capabilities(const char* text);

static void* bridge_open(const char* path, int flags) {
  (void)path;
  (void)flags;
  return (void*)1;
}

static void* bridge_symbol(void* library, const char* name) {
  static const struct {
    const char* name;
    void* function;
  } table[] = {
      {"zekalg_create_environment", (void*)bridge_create_environment},
      {"zekalg_kill_environment", (void*)bridge_kill_environment},
      {"zekalg_solve_var", (void*)bridge_solve_var},
      {"zekalg_solve_var16", (void*)bridge_solve_var16},
      {"zekalg_seed_environment", (void*)bridge_seed_environment},
      {"zekalg_list_capabilities", (void*)bridge_list_capabilities},
  };
  size_t i;
  (void)library;
  for (i = 0; i < sizeof table / sizeof table[0]; ++i) {
    if (strcmp(table[i].name, name) == 0) return table[i].function;
  }
  return NULL;
}

#define dlopen bridge_open
#define dlsym bridge_symbol
#include "differential/differential_host.c"
