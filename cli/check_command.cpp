#include "check_command.h"

#include <optional>

#include "tools/variant_count.h"

namespace cli {

int run_check(const check_options& options, std::ostream& out) {
  return report_check(load_algorithm_file(options.file, options.enc), options, out);
}

int report_check(const algorithm_file& file, const check_options& options, std::ostream& out) {
  std::optional<algorithm_file> base;
  if (!options.base_file.empty()) base = load_algorithm_file(options.base_file, options.enc);
  int errors = 0;
  int warnings = 0;
  std::optional<tools::variant_count> count;
  for (const diagnostic& d :
       check_algorithm(file, options.creations, base ? &*base : nullptr, {}, nullptr, &count)) {
    (d.error ? errors : warnings)++;
    const algorithm_file& about = d.level > 0 && base ? *base : file;
    out << about.where(d.line, d.column) << (d.error ? "error: " : "warning: ")
        << from_engine(d.text, options.enc) << '\n';
  }
  if (count) out << file.path << ": " << from_engine(describe_count(*count), options.enc) << '\n';
  out << file.path << ": " << errors << " error" << (errors == 1 ? "" : "s") << ", " << warnings
      << " warning" << (warnings == 1 ? "" : "s") << '\n';
  return errors > 0 ? 1 : 0;
}

}  // namespace cli
