// Runs every example of docs/*.md through the zekalg command's own code, so
// that the language reference never drifts from the engine.
//
// The example convention (also described at the top of docs/language.md):
//
// - A fenced block with the info string `alg` holds an algorithm, the file
//   question.alg. One with `alg base` holds a base algorithm, base.alg.
//   Both hold until the next `alg` (resp. `alg base`) block or the next
//   heading.
// - A fenced block `solve` (or `solve seed=N`; the seed is 1 when none is
//   given) is the output of
//       zekalg solve question.alg [--base base.alg] --seed N -- REQUEST...
//   with the algorithm above it (an empty one when there is none since the
//   last heading). A line `REQUEST → OUTPUT` passes REQUEST and expects
//   OUTPUT as its line of output (nothing after the arrow: an empty line);
//   any other line is expected as it stands. So a block without arrows is
//   the whole output of a solve without requests ("name = value" lines, or
//   the error of a creation that failed). Standard output and standard error
//   are one stream, in the order printed, errors exactly as the command
//   prints them.
// - A fenced block `check` is the whole output of `zekalg check question.alg`.
// - Lines are compared without their trailing spaces. HTML comments are
//   skipped.
// - Every fenced block must be one of these: any other info string, an
//   unclosed fence, an empty `solve` block, an arrow with nothing before it
//   or an `alg` block that no `solve` or `check` block uses is an error, and
//   so is a file without a single example. A typo thus fails instead of
//   silently skipping an example.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "check_command.h"
#include "solve_command.h"
#include "tools/algorithm_file.h"

namespace {

namespace fs = std::filesystem;

const std::string kArrow = "\xE2\x86\x92";  // →

enum class block_kind { solve, check };

struct expected_line {
  int line = 0;         // in the Markdown file
  std::string request;  // empty: a line printed without a request
  std::string output;
};

struct example {
  block_kind kind = block_kind::solve;
  int line = 0;  // of the opening fence
  std::string algorithm;
  std::optional<std::string> base;
  uint32_t seed = 1;
  std::vector<expected_line> lines;
};

struct parsed_doc {
  std::vector<example> examples;
  std::vector<std::string> errors;  // "NAME:LINE: text"
};

std::string rtrim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
  return s;
}

std::string trim(std::string s) {
  s = rtrim(std::move(s));
  s.erase(0, std::min(s.find_first_not_of(" \t"), s.size()));
  return s;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(rtrim(line));
  return lines;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// Reads the examples of one Markdown text; `name` is how messages call the file.
parsed_doc parse_doc(const std::string& name, const std::string& text) {
  parsed_doc doc;
  const auto fail = [&](int line, const std::string& what) {
    doc.errors.push_back(name + ":" + std::to_string(line) + ": " + what);
  };
  struct held {
    std::string text;
    int line = 0;
    bool used = false;
  };
  std::optional<held> algorithm;
  std::optional<held> base;
  const auto drop = [&](std::optional<held>& h) {
    if (h && !h->used) fail(h->line, "algorithm block that no solve or check block uses");
    h.reset();
  };

  const std::vector<std::string> lines = split_lines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    const std::string& l = lines[i];
    // HTML comments (such as the description of this convention) are no text.
    if (trim(l).starts_with("<!--")) {
      while (i < lines.size() && lines[i].find("-->") == std::string::npos) ++i;
      continue;
    }
    if (l.starts_with("#")) {
      drop(algorithm);
      drop(base);
      continue;
    }
    if (!trim(l).starts_with("```")) continue;

    const std::string info = trim(trim(l).substr(3));
    std::vector<std::string> content;
    std::size_t j = i + 1;
    while (j < lines.size() && trim(lines[j]) != "```") content.push_back(lines[j++]);
    if (j == lines.size()) {
      fail(number, "fenced block is never closed");
      break;
    }
    i = j;
    const std::vector<std::string> w = words(info);
    const std::string kind = w.empty() ? "" : w[0];

    if (kind == "alg" && (w.size() == 1 || (w.size() == 2 && w[1] == "base"))) {
      std::string joined;
      for (const std::string& c : content) joined += c + "\n";
      std::optional<held>& target = w.size() == 1 ? algorithm : base;
      drop(target);
      target = held{joined, number, false};
      continue;
    }
    if (kind != "solve" && kind != "check") {
      fail(number, "fenced block with info string '" + info +
                       "': examples are 'alg', 'alg base', 'solve [seed=N]' or 'check'");
      continue;
    }

    example ex;
    ex.kind = kind == "solve" ? block_kind::solve : block_kind::check;
    ex.line = number;
    bool ok = true;
    for (std::size_t k = 1; k < w.size(); ++k) {
      const std::string& option = w[k];
      std::size_t used = 0;
      unsigned long long seed = 0;
      const bool is_seed = ex.kind == block_kind::solve && option.starts_with("seed=");
      if (is_seed) {
        try {
          seed = std::stoull(option.substr(5), &used);
        } catch (const std::exception&) {
          used = 0;
        }
      }
      if (!is_seed || used == 0 || used != option.size() - 5 || seed > UINT32_MAX) {
        fail(number, "unknown option '" + option + "' of a " + kind + " block");
        ok = false;
      } else {
        ex.seed = static_cast<uint32_t>(seed);
      }
    }
    if (content.empty()) {
      fail(number, kind + " block without a line");
      ok = false;
    }
    for (std::size_t k = 0; k < content.size(); ++k) {
      expected_line e;
      e.line = number + 1 + static_cast<int>(k);
      const std::string& c = content[k];
      // "REQUEST → OUTPUT", or "REQUEST →" for an empty output.
      std::size_t arrow = std::string::npos;
      if (ex.kind == block_kind::solve) {
        for (std::size_t at = c.find(" " + kArrow); at != std::string::npos;
             at = c.find(" " + kArrow, at + 1)) {
          const std::size_t after = at + 1 + kArrow.size();
          if (after == c.size() || c[after] == ' ') {
            arrow = at;
            break;
          }
        }
      }
      if (arrow == std::string::npos) {
        e.output = c;
      } else {
        e.request = trim(c.substr(0, arrow));
        const std::size_t after = arrow + 1 + kArrow.size();
        e.output = after < c.size() ? c.substr(after + 1) : "";
        if (e.request.empty()) {
          fail(e.line, "an arrow without a request before it");
          ok = false;
        }
      }
      ex.lines.push_back(e);
    }
    if (algorithm) {
      algorithm->used = true;
      ex.algorithm = algorithm->text;
    }
    if (base) {
      base->used = true;
      ex.base = base->text;
    }
    if (ok) doc.examples.push_back(std::move(ex));
  }
  drop(algorithm);
  drop(base);
  return doc;
}

// A directory of its own for the files of one run, removed afterwards.
class scratch_dir {
 public:
  scratch_dir() {
    std::string pattern = (fs::temp_directory_path() / "zekalg-docs-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~scratch_dir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;

  std::string write(const std::string& name, const std::string& text) const {
    const std::string file = (path_ / name).string();
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }
  // The output as printed when the command runs inside the directory.
  std::string relative(std::string text) const {
    const std::string prefix = path_.string() + "/";
    for (std::size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at)) {
      text.erase(at, prefix.size());
    }
    return text;
  }

 private:
  fs::path path_;
};

// What the command prints for the example, stdout and stderr in order.
std::vector<std::string> run_example(const example& ex) {
  const scratch_dir dir;
  std::ostringstream out;
  try {
    if (ex.kind == block_kind::solve) {
      cli::solve_options options;
      options.file = dir.write("question.alg", ex.algorithm);
      if (ex.base) options.base_file = dir.write("base.alg", *ex.base);
      options.seed = ex.seed;
      for (const expected_line& e : ex.lines) {
        if (!e.request.empty()) options.requests.push_back(e.request);
      }
      cli::run_solve(options, out, out);
    } else {
      cli::check_options options;
      options.file = dir.write("question.alg", ex.algorithm);
      cli::run_check(options, out);
    }
  } catch (const std::exception& e) {
    out << "zekalg: " << e.what() << '\n';  // as the command's main() reports it
  }
  return split_lines(dir.relative(out.str()));
}

// Empty when the example holds; otherwise what is wrong, naming the line.
std::string compare_example(const std::string& name, const example& ex,
                            const std::vector<std::string>& actual) {
  std::size_t k = 0;
  while (k < ex.lines.size() && k < actual.size() && ex.lines[k].output == actual[k]) ++k;
  if (k == ex.lines.size() && k == actual.size()) return {};

  const auto shown = [](const expected_line& e, const std::string& output) {
    if (e.request.empty()) return output;
    return e.request + " " + kArrow + (output.empty() ? "" : " " + output);
  };
  const int line = k < ex.lines.size() ? ex.lines[k].line : ex.line;
  std::string report = name + ":" + std::to_string(line) + ": the example differs from what " +
                       (ex.kind == block_kind::solve ? "zekalg solve" : "zekalg check") +
                       " prints\n";
  report +=
      "  expected: " + (k < ex.lines.size() ? "\"" + ex.lines[k].output + "\"" : "nothing more") +
      "\n  printed:  " + (k < actual.size() ? "\"" + actual[k] + "\"" : "nothing more") + "\n";
  report += "  the block reads:\n";
  for (const expected_line& e : ex.lines) report += "    " + shown(e, e.output) + "\n";
  if (actual.size() == ex.lines.size()) {
    report += "  with what the command prints it would read:\n";
    for (std::size_t i = 0; i < actual.size(); ++i) {
      report += "    " + shown(ex.lines[i], actual[i]) + "\n";
    }
  } else {
    report += "  the command prints " + std::to_string(actual.size()) + " lines for " +
              std::to_string(ex.lines.size()) + ":\n";
    for (const std::string& a : actual) report += "    " + a + "\n";
  }
  return report;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Docs, EveryExampleMatchesTheEngine) {
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(ZEKALG_DOCS_DIR)) {
    if (entry.path().extension() == ".md") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << "no Markdown file in " << ZEKALG_DOCS_DIR;

  for (const fs::path& file : files) {
    const std::string name = "docs/" + file.filename().string();
    const parsed_doc doc = parse_doc(name, read_file(file));
    for (const std::string& error : doc.errors) ADD_FAILURE() << error;
    if (doc.examples.empty() && doc.errors.empty()) ADD_FAILURE() << name << ": no example";
    for (const example& ex : doc.examples) {
      const std::string report = compare_example(name, ex, run_example(ex));
      if (!report.empty()) ADD_FAILURE() << report;
    }
  }
}

// The reader itself: a malformed block is reported with its line, never skipped.
struct malformed_case {
  const char* name;
  std::string markdown;
  std::string error;  // the start of the one expected message
};

const malformed_case kMalformed[] = {
    {"UnknownInfoString", "```slove\n1 → 1\n```\n",
     "d.md:1: fenced block with info string 'slove'"},
    {"UnclosedFence", "```solve\n1 → 1\n", "d.md:1: fenced block is never closed"},
    {"EmptySolve", "```solve\n```\n", "d.md:1: solve block without a line"},
    {"BadSeed", "```solve seed=x\n1 → 1\n```\n", "d.md:1: unknown option 'seed=x'"},
    {"SeedOnCheck", "```alg\nk_a|1\n```\n```check seed=2\nx\n```\n",
     "d.md:4: unknown option 'seed=2' of a check block"},
    {"ArrowWithoutRequest", "```solve\n1 → 1\n → 2\n```\n", "d.md:3: an arrow without a request"},
    {"AlgorithmNeverSolved", "```alg\nk_a|1\n```\n# Next\n```solve\n1 → 1\n```\n",
     "d.md:1: algorithm block that no solve or check block uses"},
};

class MalformedDoc : public testing::TestWithParam<malformed_case> {};

TEST_P(MalformedDoc, IsReportedWithItsLine) {
  const parsed_doc doc = parse_doc("d.md", GetParam().markdown);
  ASSERT_EQ(doc.errors.size(), 1u) << testing::PrintToString(doc.errors);
  EXPECT_TRUE(doc.errors[0].starts_with(GetParam().error)) << doc.errors[0];
}

INSTANTIATE_TEST_SUITE_P(Cases, MalformedDoc, testing::ValuesIn(kMalformed),
                         [](const auto& info) { return std::string(info.param.name); });

// A changed output is caught and named by the line that differs, and the
// blocks bind to the algorithm above them within one section.
TEST(Docs, DriftIsReportedAtTheDifferingLine) {
  const std::string markdown =
      "# A\n"
      "```alg\nk_a|-3\n```\n"
      "```solve\na → –3\na*2 → –7\nb →\n```\n"
      "# B\n"
      "```solve\n7/2 → 3.500000\n```\n";
  const parsed_doc doc = parse_doc("d.md", markdown);
  ASSERT_TRUE(doc.errors.empty()) << testing::PrintToString(doc.errors);
  ASSERT_EQ(doc.examples.size(), 2u);

  const std::string report = compare_example("d.md", doc.examples[0], run_example(doc.examples[0]));
  EXPECT_TRUE(report.starts_with("d.md:7: the example differs")) << report;
  EXPECT_NE(report.find("a*2 → –6\n"), std::string::npos) << report;
  EXPECT_NE(report.find("b → question.alg: error: request 'b': variable 'b' not defined"),
            std::string::npos)
      << report;
  // The second section has no algorithm: the request runs in an empty one.
  EXPECT_EQ(compare_example("d.md", doc.examples[1], run_example(doc.examples[1])), "");
}

}  // namespace
