#include "test_command.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "tools/question_test.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAlgorithmExtension = ".alg";
constexpr const char* kTestExtension = ".test";

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw command_error(path.string() + ": cannot open the file");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_text(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.flush();
  if (!out) throw command_error(path.string() + ": cannot write the file");
}

// The algorithm of a test, loaded once for all its seeds, named by its file
// name alone so that the blocks do not depend on where the test runs from.
struct loaded_test {
  algorithm_file algorithm;
  std::optional<algorithm_file> base;
  std::vector<std::string> requests;  // engine bytes
};

loaded_test load_test(const fs::path& algorithm, const fs::path& base, const test_file& test,
                      const fs::path& test_path, encoding enc) {
  loaded_test loaded{load_algorithm_file(algorithm.string(), enc), std::nullopt, {}};
  loaded.algorithm.path = algorithm.filename().string();
  if (!base.empty()) {
    loaded.base = load_algorithm_file(base.string(), enc);
    loaded.base->path = base.filename().string();
  }
  for (const std::string& request : test.requests) {
    try {
      loaded.requests.push_back(to_engine(request, enc));
    } catch (const encoding_error& e) {
      throw command_error(test_path.string() + ": @request " + request + ": " + e.what());
    }
  }
  return loaded;
}

// A line diff of two short blocks (longest common subsequence).
void print_diff(const std::vector<std::string>& expected, const std::vector<std::string>& got,
                std::ostream& out) {
  const std::size_t n = expected.size();
  const std::size_t m = got.size();
  std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1, 0));
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      common[i][j] = expected[i] == got[j] ? common[i + 1][j + 1] + 1
                                           : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && expected[i] == got[j]) {
      out << "      " << expected[i] << '\n';
      ++i, ++j;
    } else if (i < n && (j == m || common[i + 1][j] >= common[i][j + 1])) {
      out << "    - " << expected[i++] << '\n';
    } else {
      out << "    + " << got[j++] << '\n';
    }
  }
}

struct test_pair {
  fs::path algorithm;
  fs::path test;
};

fs::path test_path_of(const fs::path& algorithm) {
  fs::path test = algorithm;
  return test.replace_extension(kTestExtension);
}

// The algorithms a path names: itself (an algorithm, or the algorithm of a
// test file), or every algorithm in a directory tree, in name order; in a
// directory only those with a test file unless `all`.
std::vector<test_pair> pairs_of(const std::string& argument, bool all) {
  const fs::path path(argument);
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    std::vector<test_pair> pairs;
    for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
      if (!it->is_regular_file(ec) || it->path().extension() != kAlgorithmExtension) continue;
      const fs::path test = test_path_of(it->path());
      if (all || fs::exists(test, ec)) pairs.push_back({it->path(), test});
    }
    if (ec) throw command_error(argument + ": cannot read the directory (" + ec.message() + ")");
    std::sort(pairs.begin(), pairs.end(),
              [](const test_pair& a, const test_pair& b) { return a.algorithm < b.algorithm; });
    return pairs;
  }
  if (path.extension() == kTestExtension) {
    fs::path algorithm = path;
    return {{algorithm.replace_extension(kAlgorithmExtension), path}};
  }
  return {{path, test_path_of(path)}};
}

struct outcome {
  bool ok = true;
  std::size_t changed = 0;
  std::size_t blocks = 0;
};

outcome test_one(const test_pair& pair, const test_options& options, std::ostream& out) {
  std::error_code ec;
  const bool exists = fs::exists(pair.test, ec);
  if (!exists && !options.update) {
    throw command_error(pair.test.string() + ": no test file (zekalg test --update " +
                        pair.algorithm.string() + " records one)");
  }
  test_file test;
  if (exists) test = parse_test_file(pair.test.string(), read_text(pair.test));
  if (test.blocks.empty()) {
    // A new test: seeds spread over the whole range, as sample's rows are
    // (neighbouring seeds draw nearly the same first values).
    test.blocks = new_test_blocks(options.seeds);
  }
  if (!options.base_file.empty()) {
    // --base: the base of a test that names none, written into it relative
    // to the test file so that the test runs from anywhere.
    const fs::path given = fs::absolute(options.base_file, ec);
    const fs::path named =
        test.base.empty() ? fs::path() : fs::absolute(pair.test.parent_path() / test.base, ec);
    if (!named.empty() && !fs::equivalent(named, given, ec)) {
      throw command_error(pair.test.string() + ": its @base is " + test.base + ", not " +
                          options.base_file);
    }
    if (test.base.empty()) {
      // The test file's folder, also when the file is named without one.
      const fs::path folder = fs::absolute(pair.test, ec).parent_path();
      test.base = fs::relative(given, folder, ec).generic_string();
      if (test.base.empty()) test.base = given.generic_string();
    }
  }
  const fs::path base = test.base.empty() ? fs::path() : pair.test.parent_path() / test.base;
  if (!base.empty() && !fs::exists(base, ec)) {
    throw command_error(pair.test.string() + ": the base " + base.string() + " does not exist");
  }
  if (!fs::exists(pair.algorithm, ec)) {
    throw command_error(pair.test.string() + ": its algorithm " + pair.algorithm.string() +
                        " does not exist");
  }

  const loaded_test loaded = load_test(pair.algorithm, base, test, pair.test, options.enc);
  outcome result;
  result.blocks = test.blocks.size();
  std::size_t failing = 0;
  std::string first_error;
  for (test_file::block& block : test.blocks) {
    bool failed = false;
    std::vector<std::string> got =
        tools::variant_lines(loaded.algorithm, loaded.base ? &*loaded.base : nullptr,
                             loaded.requests, block.seed, options.enc, &failed);
    if (failed) {
      ++failing;
      if (first_error.empty()) {
        const auto error = std::find_if(got.begin(), got.end(), [](const std::string& line) {
          return line.find(": error: ") != std::string::npos;
        });
        if (error != got.end()) first_error = *error;
      }
    }
    if (got == block.lines) continue;
    ++result.changed;
    if (!options.update) {
      if (result.changed == 1) out << "FAIL  " << pair.algorithm.string() << '\n';
      out << "  " << pair.test.string() << ':' << block.line << ": seed " << block.seed << '\n';
      print_diff(block.lines, got, out);
    }
    block.lines = std::move(got);
  }
  if (options.update && failing > 0 && failing == test.blocks.size()) {
    // Recording only failures would pass forever while the question is broken.
    throw command_error(pair.test.string() +
                        ": not recorded: every variant fails, the first with \"" + first_error +
                        "\"" +
                        (loaded.base ? "" : " (a question written for a base needs --base FILE)"));
  }
  if (options.update) {
    if (!exists || result.changed > 0) {
      write_text(pair.test, format_test_file(pair.algorithm.filename().string(), test));
    }
    out << (exists ? (result.changed > 0 ? "wrote " : "same  ") : "new   ") << pair.test.string()
        << " (" << result.blocks << " variants"
        << (exists && result.changed > 0 ? ", " + std::to_string(result.changed) + " changed" : "")
        << ")\n";
    return result;
  }
  result.ok = result.changed == 0;
  if (result.ok) {
    out << "ok    " << pair.algorithm.string() << " (" << result.blocks << " variants)\n";
  } else {
    out << "  " << result.changed << " of " << result.blocks
        << " variants changed; if the change is intended: zekalg test --update "
        << pair.algorithm.string() << '\n';
  }
  return result;
}

}  // namespace

int run_test(const test_options& options, std::ostream& out, std::ostream& err) {
  int status = 0;
  std::size_t algorithms = 0;
  std::size_t failed = 0;
  for (const std::string& argument : options.paths) {
    std::vector<test_pair> pairs = pairs_of(argument, options.update);
    if (pairs.empty()) {
      err << "zekalg: " << argument << ": no algorithm with a test file\n";
      status = 1;
    }
    for (const test_pair& pair : pairs) {
      ++algorithms;
      try {
        if (!test_one(pair, options, out).ok) ++failed;
      } catch (const command_error& e) {
        out << "FAIL  " << pair.algorithm.string() << '\n';
        err << "zekalg: " << e.what() << '\n';
        ++failed;
      }
    }
  }
  if (algorithms > 1 || failed > 0) {
    out << algorithms - failed << " of " << algorithms << " algorithms "
        << (options.update ? "recorded" : "passed") << '\n';
  }
  return failed > 0 ? 1 : status;
}

}  // namespace cli
