#include "check_command.h"

namespace cli {

std::vector<diagnostic> check_algorithm(const algorithm_file&, int) { return {}; }

int run_check(const check_options& options, std::ostream& out) {
  const algorithm_file file = load_algorithm_file(options.file, options.enc);
  int errors = 0;
  int warnings = 0;
  for (const diagnostic& d : check_algorithm(file, options.creations)) {
    (d.error ? errors : warnings)++;
    out << file.where(d.line) << (d.error ? "error: " : "warning: ")
        << from_engine(d.text, options.enc) << '\n';
  }
  out << file.path << ": " << errors << " error" << (errors == 1 ? "" : "s") << ", " << warnings
      << " warning" << (warnings == 1 ? "" : "s") << '\n';
  return errors > 0 ? 1 : 0;
}

}  // namespace cli
