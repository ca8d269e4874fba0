// Test helper process: creates N environments through the shared library and
// prints each new id on its own line.
//   id_counter_child N
//   id_counter_child fork N   draws an id, forks and exits at once; the child
//                             draws an id, waits for its input to close, then
//                             draws N more.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zekalg/zekalg.h"

namespace {

void draw(int count) {
  for (int i = 0; i < count; ++i) {
    char message[128];
    int32_t length = sizeof message;
    const int32_t id = zekalg_create_environment(0, "k_a|1", message, &length);
    std::printf("%d\n", id);
    zekalg_kill_environment(id);
  }
  std::fflush(stdout);  // before a fork, so nothing is printed twice
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "fork") == 0) {
    draw(1);
    if (fork() != 0) return 0;
    draw(1);
    while (std::getchar() != EOF) {
    }
    draw(std::atoi(argv[2]));
    return 0;
  }
  draw(argc > 1 ? std::atoi(argv[1]) : 1);
  return 0;
}
