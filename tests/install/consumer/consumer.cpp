// A C++ host of the installed library through the wrapper header.
#include <cstdio>
#include <string>

#include <zekalg/zekalg.hpp>

int main() {
  zekalg::seed(7);
  const zekalg::environment env("r_a|1|9\nq_sq|a^2|0\nk_t|\"" + std::string(300, 'y') + "\"");
  const std::string sq = env.solve("sq");
  if (sq.empty() || env.solve("t").size() != 300) return 1;
  try {
    env.solve("nope");
    return 1;
  } catch (const zekalg::error& e) {
    if (e.status() != ZEKALG_ERROR_ALGORITHM) return 1;
  }
  std::printf("ok\n");
  return 0;
}
