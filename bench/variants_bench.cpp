// Throughput of complete variants through the C API: seed, create, solve
// every variable once in definition order, kill. Each shipped example runs
// on its own environments; one more algorithm runs on top of a shared base
// environment. Every benchmark runs with one and with two threads, and
// items_per_second counts variants over wall-clock time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "zekalg/zekalg.h"

namespace {

struct Variant {
  std::string algorithm;
  std::vector<std::string> names;  // the variables, in definition order
};

const char kBase[] = "k_g|9.81\nk_course|\"Physics\"\nf_sq|x*x|x\nq_half|g/2|2\n";
const char kOnBase[] = "r_m|1|20\nq_w|m*g|2\nq_s|sq(m)\nq_t|course & \": \" & str(w,2)\n";

// Constants, formulas, random and list variables name themselves between
// their two-character prefix and the first '|'.
Variant make_variant(std::string algorithm) {
  Variant variant{std::move(algorithm), {}};
  std::istringstream lines(variant.algorithm);
  for (std::string line; std::getline(lines, line);) {
    const auto bar = line.find('|');
    if (bar == std::string::npos || bar < 2 || line[1] != '_') continue;
    if (line[0] == 'k' || line[0] == 'q' || line[0] == 'r' || line[0] == 'l')
      variant.names.push_back(line.substr(2, bar - 2));
  }
  return variant;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

int32_t create_base(const std::string& algorithm) {
  char message[256];
  int32_t length = sizeof message;
  return zekalg_create_environment(0, algorithm.c_str(), message, &length);
}

int32_t shared_base() {
  static const int32_t id = create_base(kBase);
  return id;
}

// The base of the teacher-sized algorithms named *_on_base.
int32_t teacher_base() {
  static const int32_t id =
      create_base(read_file(std::filesystem::path(ZEKALG_BENCH_ALGORITHMS_DIR) / "base.alg"));
  return id;
}

void BM_Variant(benchmark::State& state, const Variant& variant, int32_t (*base_of)()) {
  const int32_t base = base_of != nullptr ? base_of() : 0;
  if (base < 0) {
    state.SkipWithError("the base environment could not be created");
    return;
  }
  char buffer[1024];
  // The threads share out one sequence of seeds, so any thread count draws
  // the same variants.
  uint32_t seed = static_cast<uint32_t>(state.thread_index()) + 1;
  for (auto _ : state) {
    zekalg_seed_environment(static_cast<int32_t>(seed * 2654435761u));
    seed += static_cast<uint32_t>(state.threads());
    int32_t length = sizeof buffer;
    const int32_t id = zekalg_create_environment(base, variant.algorithm.c_str(), buffer, &length);
    if (id < 0) {
      state.SkipWithError(buffer);
      break;
    }
    for (const auto& name : variant.names) {
      length = sizeof buffer;
      if (zekalg_solve_var(id, name.c_str(), buffer, &length) != ZEKALG_OK) {
        state.SkipWithError(buffer);
        break;
      }
      benchmark::DoNotOptimize(buffer);
    }
    zekalg_kill_environment(id);
    if (state.error_occurred()) break;
  }
  state.SetItemsProcessed(state.iterations());
}

void register_variant(const std::string& name, Variant variant, int32_t (*base_of)()) {
  benchmark::RegisterBenchmark(name.c_str(), BM_Variant, std::move(variant), base_of)
      ->Threads(1)
      ->Threads(2)
      ->UseRealTime();
}

std::vector<std::filesystem::path> algorithms_in(const char* directory) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    if (entry.path().extension() == ".alg") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// The shipped examples, then the teacher-sized algorithms of
// bench/algorithms (15 to 20 lines: conditions, text building, user
// functions, one on a base environment; pythagorean rejects most draws).
[[maybe_unused]] const bool registered = [] {
  for (const auto& file : algorithms_in(ZEKALG_EXAMPLES_DIR)) {
    register_variant("BM_Variant/" + file.stem().string(), make_variant(read_file(file)), nullptr);
  }
  for (const auto& file : algorithms_in(ZEKALG_BENCH_ALGORITHMS_DIR)) {
    const std::string name = file.stem().string();
    if (name == "base") continue;
    register_variant("BM_Variant/" + name, make_variant(read_file(file)),
                     name.ends_with("_on_base") ? teacher_base : nullptr);
  }
  register_variant("BM_VariantOnBase", make_variant(kOnBase), shared_base);
  return true;
}();

}  // namespace
