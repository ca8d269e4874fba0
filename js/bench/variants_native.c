/* Complete variants through the native library, for js/bench/variants.mjs:
 *   variants_native ALGORITHM COUNT NAME...
 * seeds, creates, solves every NAME and kills, COUNT times (the seeds of
 * the script's own loop), and prints the seconds it took and the total
 * length of the results. ALGORITHM holds the engine's bytes. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "zekalg/zekalg.h"

static char* read_file(const char* path) {
  FILE* in = fopen(path, "rb");
  long size;
  char* text;
  if (in == NULL || fseek(in, 0, SEEK_END) != 0 || (size = ftell(in)) < 0) exit(2);
  rewind(in);
  text = (char*)malloc((size_t)size + 1);
  if (text == NULL || fread(text, 1, (size_t)size, in) != (size_t)size) exit(2);
  text[size] = '\0';
  fclose(in);
  return text;
}

int main(int argc, char** argv) {
  static char buffer[1 << 16];
  const char* algorithm;
  long count, i;
  int n;
  int64_t total = 0;
  struct timespec start, end;
  if (argc < 3) return 2;
  algorithm = read_file(argv[1]);
  count = atol(argv[2]);
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (i = 0; i < count; ++i) {
    int32_t length = sizeof buffer;
    int32_t id;
    zekalg_seed_environment((int32_t)((uint32_t)(i + 1) * 2654435761u));
    id = zekalg_create_environment(0, algorithm, buffer, &length);
    if (id <= 0) return 1;
    for (n = 3; n < argc; ++n) {
      length = sizeof buffer;
      if (zekalg_solve_var(id, argv[n], buffer, &length) != ZEKALG_OK) return 1;
      total += length;
    }
    zekalg_kill_environment(id);
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  printf("%.6f %lld\n",
         (double)(end.tv_sec - start.tv_sec) + 1e-9 * (double)(end.tv_nsec - start.tv_nsec),
         (long long)total);
  return 0;
}
