#include "grade_command.h"

#include <optional>

#include "tools/question.h"
#include "tools/variable_report.h"
#include "tools/variant.h"

namespace cli {
namespace {

const char* kind_name(question_part::kind k) {
  return k == question_part::kind::numeric ? "numeric"
         : k == question_part::kind::text  ? "text"
                                           : "choice";
}

void print_view(const question_view& view, encoding enc, std::ostream& out) {
  const auto shown = [&](const std::string& text) { return from_engine(text, enc); };
  if (view.prompt) out << "prompt: " << shown(*view.prompt) << '\n';
  for (std::size_t k = 0; k < view.parts.size(); ++k) {
    const part_view& p = view.parts[k];
    out << "part " << k + 1 << " (" << kind_name(p.what);
    switch (p.what) {
      case question_part::kind::numeric:
        out << ", " << (p.tolerance.empty() ? "as shown" : shown(p.tolerance));
        break;
      case question_part::kind::text:
        out << ", " << (p.loose ? "loose" : "exact");
        break;
      case question_part::kind::choice:
        break;
    }
    out << ")";
    if (p.what != question_part::kind::choice) {
      out << ": answer " << shown(p.answer) << '\n';
      continue;
    }
    out << ":\n";
    for (std::size_t i = 0; i < p.options.size(); ++i) {
      out << "  " << i + 1 << ") " << shown(p.options[i]) << '\n';
    }
    out << "  answer " << p.right_option << ") " << shown(p.answer) << '\n';
  }
  if (view.solution) out << "solution: " << shown(*view.solution) << '\n';
  if (view.feedback) out << "feedback: " << shown(*view.feedback) << '\n';
}

}  // namespace

int run_grade(const grade_options& options, std::ostream& out, std::ostream& err) {
  try {
    const algorithm_file file = load_algorithm_file(options.file, options.enc);
    std::optional<algorithm_file> base;
    if (!options.base_file.empty()) {
      base = load_algorithm_file(options.base_file, options.enc);
      print_name_traps(*base, options.enc, err);
    }
    print_name_traps(file, options.enc, err);
    std::vector<const algorithm_file*> files{&file};
    if (base) files.push_back(&*base);

    question_view view;
    try {
      view = view_question(file, base ? &*base : nullptr, seed_from_option(options.seed));
    } catch (const view_error& e) {
      print_creation_error(e.where, files, options.enc, err);
      return 2;
    }
    if (options.responses.empty()) {
      print_view(view, options.enc, out);
      return 0;
    }
    if (options.responses.size() != view.parts.size()) {
      err << "zekalg: " << options.responses.size() << " response"
          << (options.responses.size() == 1 ? "" : "s") << " for " << view.parts.size() << " part"
          << (view.parts.size() == 1 ? "" : "s") << '\n';
      return 2;
    }
    std::vector<std::string> typed;
    for (const std::string& r : options.responses) {
      typed.push_back(options.enc == encoding::utf8 ? r : cp1252_to_utf8(r));
    }
    int status = 0;
    const std::vector<part_verdict> verdicts =
        grade_utf8_responses(view, parse_question(file), typed);
    for (std::size_t k = 0; k < verdicts.size(); ++k) {
      const part_verdict& v = verdicts[k];
      out << "part " << k + 1 << ": ";
      switch (v.result) {
        case part_verdict::kind::right:
          out << "right\n";
          continue;
        case part_verdict::kind::wrong:
          out << "wrong\n";
          break;
        case part_verdict::kind::unreadable:
          out << "unreadable: " << from_engine(v.reason, options.enc) << '\n';
          break;
      }
      status = 1;
    }
    return status;
  } catch (const command_error& e) {
    err << "zekalg: " << e.what() << '\n';
    return 2;
  }
}

}  // namespace cli
