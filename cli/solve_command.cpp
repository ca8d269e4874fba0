#include "solve_command.h"

#include <optional>

#include "tools/variable_report.h"

namespace cli {

int run_solve(const solve_options& options, std::ostream& out, std::ostream& err) {
  const algorithm_file file = load_algorithm_file(options.file, options.enc);
  std::vector<std::string> requests;
  for (std::size_t i = 0; i < options.requests.size(); ++i) {
    try {
      requests.push_back(to_engine(options.requests[i], options.enc));
    } catch (const encoding_error& e) {
      throw command_error("request " + std::to_string(i + 1) + ": " + e.what());
    }
  }
  std::optional<algorithm_file> base_file;
  if (!options.base_file.empty()) {
    base_file = load_algorithm_file(options.base_file, options.enc);
    print_name_traps(*base_file, options.enc, err);
  }
  print_name_traps(file, options.enc, err);
  std::vector<const algorithm_file*> files{&file};
  if (base_file) files.push_back(&*base_file);

  std::optional<uint32_t> seed;
  if (options.seed) seed = seed_from_option(*options.seed);
  return print_variant(solve_variant(file, base_file ? &*base_file : nullptr, seed, requests),
                       files, options.enc, false, out, err);
}

}  // namespace cli
