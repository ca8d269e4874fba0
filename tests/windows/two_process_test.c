/* Two host processes that create environments at the same moment draw their
 * ids from the one counter in the DLL's shared section.
 *
 *   two_process_test HOST DLL
 *
 * This process keeps the DLL loaded throughout (so the counter lives on),
 * takes one id before and one after the children run, and starts two
 * `HOST draw` processes that create their environments at once. With one
 * shared counter the children's ids are all different and fill exactly the
 * gap between this process's two ids; with a counter per process they would
 * repeat each other and the gap would be empty. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zekalg/zekalg.h"

enum { kEach = 200, kChildren = 2 };

typedef int32_t(ZEKALG_CALL* create_fn)(int32_t, const char*, char*, int32_t*);
typedef int32_t(ZEKALG_CALL* kill_fn)(int32_t);

static create_fn create;
static kill_fn kill;

static int32_t one_id(void) {
  char message[256];
  int32_t length = sizeof message;
  int32_t id = create(0, "k_a|1", message, &length);
  kill(id);
  return id;
}

static int read_ids(const char* path, int32_t* ids, int capacity) {
  FILE* in = fopen(path, "r");
  int n = 0;
  int id;
  if (in == NULL) return -1;
  while (n < capacity && fscanf(in, "%d", &id) == 1) ids[n++] = id;
  fclose(in);
  return n;
}

static int compare_ids(const void* a, const void* b) {
  int32_t x = *(const int32_t*)a;
  int32_t y = *(const int32_t*)b;
  return (x > y) - (x < y);
}

int main(int argc, char** argv) {
  char ready_name[64];
  char start_name[64];
  char outputs[kChildren][MAX_PATH];
  PROCESS_INFORMATION children[kChildren];
  HANDLE waits[kChildren];
  HANDLE ready;
  HANDLE start;
  HMODULE module;
  int32_t ids[kChildren * kEach];
  int32_t before;
  int32_t after;
  int total = 0;
  int failures = 0;
  int i;

  if (argc != 3) {
    fprintf(stderr, "usage: two_process_test HOST DLL\n");
    return 2;
  }
  module = LoadLibraryA(argv[2]);
  if (module == NULL) {
    fprintf(stderr, "cannot load %s (error %lu)\n", argv[2], GetLastError());
    return 1;
  }
  create = (create_fn)(void (*)(void))GetProcAddress(module, "_zekalg_create_environment@16");
  kill = (kill_fn)(void (*)(void))GetProcAddress(module, "_zekalg_kill_environment@4");
  if (create == NULL || kill == NULL) {
    fprintf(stderr, "cannot resolve the functions\n");
    return 1;
  }

  snprintf(ready_name, sizeof ready_name, "zekalg-ready-%lu", GetCurrentProcessId());
  snprintf(start_name, sizeof start_name, "zekalg-start-%lu", GetCurrentProcessId());
  ready = CreateSemaphoreA(NULL, 0, kChildren, ready_name);
  start = CreateEventA(NULL, TRUE, FALSE, start_name);
  if (ready == NULL || start == NULL) {
    fprintf(stderr, "cannot create the start signals (error %lu)\n", GetLastError());
    return 1;
  }

  before = one_id();
  for (i = 0; i < kChildren; ++i) {
    char command[3 * MAX_PATH];
    STARTUPINFOA startup;
    snprintf(outputs[i], sizeof outputs[i], "two_process_%lu_%d.txt", GetCurrentProcessId(), i);
    snprintf(command, sizeof command, "\"%s\" draw \"%s\" %d \"%s\" %s %s", argv[1], argv[2], kEach,
             outputs[i], ready_name, start_name);
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &children[i])) {
      fprintf(stderr, "cannot start %s (error %lu)\n", command, GetLastError());
      return 1;
    }
    waits[i] = children[i].hProcess;
  }
  /* Both children have loaded the DLL before either may create. */
  for (i = 0; i < kChildren; ++i) {
    if (WaitForSingleObject(ready, 60000) != WAIT_OBJECT_0) {
      fprintf(stderr, "a child never became ready\n");
      return 1;
    }
  }
  SetEvent(start);
  if (WaitForMultipleObjects(kChildren, waits, TRUE, 120000) != WAIT_OBJECT_0) {
    fprintf(stderr, "the children did not finish\n");
    return 1;
  }
  after = one_id();

  for (i = 0; i < kChildren; ++i) {
    DWORD code = 1;
    int n;
    GetExitCodeProcess(children[i].hProcess, &code);
    n = read_ids(outputs[i], ids + total, kEach);
    remove(outputs[i]);
    if (code != 0 || n != kEach) {
      fprintf(stderr, "child %d: exit code %lu, %d ids\n", i, code, n);
      ++failures;
    } else {
      total += n;
    }
  }
  if (failures == 0) {
    qsort(ids, (size_t)total, sizeof ids[0], compare_ids);
    for (i = 0; i < total; ++i) {
      if (ids[i] != before + 1 + i) {
        fprintf(stderr, "ids between %d and %d: expected %d at place %d, got %d\n", (int)before,
                (int)after, (int)(before + 1 + i), i, (int)ids[i]);
        ++failures;
        break;
      }
    }
    if (after != before + total + 1) {
      fprintf(stderr, "this process drew %d before and %d after %d ids of the children\n",
              (int)before, (int)after, total);
      ++failures;
    }
  }
  printf("two processes: ids %d..%d, %s\n", (int)before, (int)after,
         failures == 0 ? "one shared counter" : "FAILED");
  FreeLibrary(module);
  return failures == 0 ? 0 : 1;
}
