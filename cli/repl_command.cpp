#include "repl_command.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include <histedit.h>

#include "solve_command.h"
#include "tools/algorithm_file.h"
#include "tools/variable_report.h"
#include "zekalg/zekalg.hpp"

namespace cli {
namespace {

const char* prompt_text(EditLine*) { return "zekalg> "; }

// Line editing and history over the terminal; owns the libedit handles.
class line_editor {
 public:
  line_editor() : el_(el_init("zekalg", stdin, stdout, stderr)), history_(history_init()) {
    HistEvent event;
    history(history_, &event, H_SETSIZE, 500);
    el_set(el_, EL_PROMPT, &prompt_text);
    el_set(el_, EL_EDITOR, "emacs");
    el_set(el_, EL_HIST, history, history_);
  }
  ~line_editor() {
    history_end(history_);
    el_end(el_);
  }
  line_editor(const line_editor&) = delete;
  line_editor& operator=(const line_editor&) = delete;

  bool read(std::string& line) {
    int count = 0;
    const char* text = el_gets(el_, &count);
    if (text == nullptr || count <= 0) return false;
    line.assign(text, static_cast<std::size_t>(count));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (!line.empty()) {
      HistEvent event;
      history(history_, &event, H_ENTER, line.c_str());
    }
    return true;
  }

 private:
  EditLine* el_;
  History* history_;
};

}  // namespace

int run_repl(const repl_options& options, std::istream& in, std::ostream& out, std::ostream& err,
             bool terminal) {
  const algorithm_file file = load_algorithm_file(options.file, options.enc);
  std::optional<algorithm_file> base_file;
  if (!options.base_file.empty()) {
    base_file = load_algorithm_file(options.base_file, options.enc);
    print_name_traps(*base_file, options.enc, err);
  }
  print_name_traps(file, options.enc, err);
  if (options.seed) zekalg::seed(seed_from_option(*options.seed));
  zekalg::environment base;
  zekalg::environment env;
  if (const auto error = create_environments(file, base_file ? &*base_file : nullptr, base, env)) {
    std::vector<const algorithm_file*> files{&file};
    if (base_file) files.push_back(&*base_file);
    print_creation_error(*error, files, options.enc, err);
    return 1;
  }

  std::unique_ptr<line_editor> editor;
  if (terminal) {
    editor = std::make_unique<line_editor>();
    out << "Solving in " << file.path;
    if (base_file) out << " on " << base_file->path;
    out << ". Type a name or a formula; :quit or Ctrl-D ends.\n" << std::flush;
  }
  std::string line;
  std::string result;
  for (;;) {
    if (editor ? !editor->read(line) : !std::getline(in, line)) break;
    while (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == ":quit" || line == ":q") break;
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    try {
      env.solve_into(to_engine(line, options.enc), result);
      out << from_engine(result, options.enc) << '\n' << std::flush;
    } catch (const encoding_error& e) {
      out << "error: " << e.what() << '\n' << std::flush;
    } catch (const zekalg::error& e) {
      // Answers and errors share one stream so a transcript keeps its order.
      out << "error: " << from_engine(e.what(), options.enc) << '\n' << std::flush;
    }
  }
  return 0;
}

}  // namespace cli
