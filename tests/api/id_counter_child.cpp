// Test helper process: creates N environments through the shared library and
// prints each new id on its own line.
#include <cstdio>
#include <cstdlib>

#include "zekalg/zekalg.h"

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1;
  for (int i = 0; i < count; ++i) {
    char message[128];
    int32_t length = sizeof message;
    const int32_t id = zekalg_create_environment(0, "k_a|1", message, &length);
    std::printf("%d\n", id);
    zekalg_kill_environment(id);
  }
  return 0;
}
