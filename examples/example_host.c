/* A minimal host: builds an environment from an algorithm file (or a small
 * built-in algorithm) and prints the requested results. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zekalg/zekalg.h"

static char* read_file(const char* path) {
  FILE* f = fopen(path, "rb");
  long size;
  char* text;
  if (f == NULL) return NULL;
  fseek(f, 0, SEEK_END);
  size = ftell(f);
  fseek(f, 0, SEEK_SET);
  text = malloc((size_t)size + 1);
  if (text != NULL && fread(text, 1, (size_t)size, f) == (size_t)size) {
    text[size] = '\0';
  } else {
    free(text);
    text = NULL;
  }
  fclose(f);
  return text;
}

int main(int argc, char** argv) {
  const char* fallback = "r_a|1|9\nr_b|1|9\nc_ok|a<>b\nq_sum|a+b|0\n";
  char* text = argc > 1 ? read_file(argv[1]) : NULL;
  char buffer[256];
  int32_t length = sizeof buffer;
  int32_t id;
  int i;

  if (argc > 1 && text == NULL) {
    fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  zekalg_seed_environment(2026);
  id = zekalg_create_environment(0, text != NULL ? text : fallback, buffer, &length);
  free(text);
  if (id < 0) {
    fprintf(stderr, "error: %s\n", buffer);
    return 1;
  }
  for (i = 2; i < argc || (argc <= 2 && i == 2); ++i) {
    const char* request = i < argc ? argv[i] : "sum";
    int32_t status;
    length = sizeof buffer;
    status = zekalg_solve_var(id, request, buffer, &length);
    printf("%s = %s%s\n", request, status == ZEKALG_OK ? "" : "error: ", buffer);
  }
  zekalg_kill_environment(id);
  return 0;
}
