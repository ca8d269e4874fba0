// The zekalg command: solve, sample, check, grade, test and repl over an algorithm
// file, and serve, the same over HTTP with the authors' workbench.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "check_command.h"
#include "grade_command.h"
#include "repl_command.h"
#include "sample_command.h"
#include "serve_command.h"
#include "solve_command.h"
#include "test_command.h"
#include "tools/algorithm_file.h"
#include "zekalg/zekalg.h"

namespace {

const std::map<std::string, cli::encoding> kEncodings{{"utf8", cli::encoding::utf8},
                                                      {"utf-8", cli::encoding::utf8},
                                                      {"cp1252", cli::encoding::cp1252}};

void add_encoding(CLI::App* app, cli::encoding& target) {
  app->add_option("--encoding", target,
                  "Text encoding of files, arguments and output: utf8 (default; the engine's "
                  "en dash shows as \u2013) or cp1252 (bytes pass unchanged)")
      ->transform(CLI::CheckedTransformer(kEncodings, CLI::ignore_case));
}

// Seeds are 32-bit; negative values are taken as their unsigned bits.
CLI::Option* add_seed(CLI::App* app, std::optional<int64_t>& target, const char* what) {
  return app->add_option("--seed", target, what)->check(CLI::Range(-2147483648LL, 4294967295LL));
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"zekalg: solve, sample, check and test algorithms for algorithmic questions"};
  app.set_version_flag("--version", std::to_string(ZEKALG_VERSION_MAJOR) + "." +
                                        std::to_string(ZEKALG_VERSION_MINOR) + "." +
                                        std::to_string(ZEKALG_VERSION_PATCH));
  app.require_subcommand(1);

  cli::solve_options solve;
  CLI::App* solve_cmd =
      app.add_subcommand("solve",
                         "Create an environment and print each request's result; with no request, "
                         "every variable in definition order as name = value");
  solve_cmd->add_option("FILE", solve.file, "Algorithm file")->required();
  solve_cmd->add_option("EXPR", solve.requests, "Variable names or formulas to solve");
  add_seed(solve_cmd, solve.seed,
           "Seed the generator first, to bring back one variant (nearby seeds draw "
           "nearly the same first values: see docs/seeds.md)");
  solve_cmd->add_option("--base", solve.base_file, "Build on a base environment from this file");
  add_encoding(solve_cmd, solve.enc);

  cli::sample_options sample;
  std::string vars;
  CLI::App* sample_cmd = app.add_subcommand(
      "sample", "Create COUNT variants, each from its own seed, and summarise them");
  sample_cmd->add_option("FILE", sample.file, "Algorithm file")->required();
  sample_cmd->add_option("-n,--count", sample.count, "Number of variants")
      ->required()
      ->check(CLI::Range(int64_t{1}, int64_t{100000000}));
  add_seed(sample_cmd, sample.seed, "Seed of the whole sample (random when not given)");
  sample_cmd->add_option("--format", sample.format, "Output format: table, csv or json")
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, cli::sample_format>{{"table", cli::sample_format::table},
                                                    {"csv", cli::sample_format::csv},
                                                    {"json", cli::sample_format::json}},
          CLI::ignore_case));
  sample_cmd->add_option("--base", sample.base_file,
                         "Build each variant on a base environment from this file, made after "
                         "the row's seed (solve FILE --base BASE --seed S brings a row back)");
  sample_cmd->add_option("--vars", vars, "Comma-separated variables to show (default: all)");
  sample_cmd
      ->add_option("--threads", sample.threads,
                   "Threads that make the rows (default: the machine's cores); the rows "
                   "are the same for any number")
      ->check(CLI::Range(1, 256));
  add_encoding(sample_cmd, sample.enc);

  cli::check_options check;
  CLI::App* check_cmd = app.add_subcommand(
      "check", "Diagnose an algorithm before publishing it; exit status 1 on errors");
  check_cmd->add_option("FILE", check.file, "Algorithm file")->required();
  check_cmd
      ->add_option("--creations", check.creations,
                   "Trial creations that measure how often conditions fail")
      ->check(CLI::Range(1, 100000));
  check_cmd->add_option("--base", check.base_file,
                        "The algorithm is written for a base environment from this file");
  add_encoding(check_cmd, check.enc);

  cli::grade_options grade;
  CLI::App* grade_cmd = app.add_subcommand(
      "grade",
      "Show a declared question's variant as a student sees it; with one RESPONSE per part, "
      "each part's verdict (exit status 0 when every part is right, 1 otherwise, 2 when the "
      "call cannot run)");
  grade_cmd->add_option("FILE", grade.file, "Algorithm file that declares a question")->required();
  grade_cmd->add_option("RESPONSE", grade.responses,
                        "A student's answer to each part, in order (after -- when one starts with "
                        "'-'); a choice: the option as shown or its position");
  grade_cmd->add_option("--seed", grade.seed, "The variant's seed, as solve takes it")
      ->required()
      ->check(CLI::Range(-2147483648LL, 4294967295LL));
  grade_cmd->add_option("--base", grade.base_file, "Build on a base environment from this file");
  add_encoding(grade_cmd, grade.enc);

  cli::repl_options repl;
  CLI::App* repl_cmd =
      app.add_subcommand("repl", "Interactive prompt: each line is solved in one environment");
  repl_cmd->add_option("FILE", repl.file, "Algorithm file")->required();
  add_seed(repl_cmd, repl.seed, "Seed the generator first");
  repl_cmd->add_option("--base", repl.base_file,
                       "Build on a base environment from this file (made after --seed, as "
                       "solve does)");
  add_encoding(repl_cmd, repl.enc);

  cli::test_options test;
  CLI::App* test_cmd = app.add_subcommand(
      "test",
      "Compare an algorithm's variants with those stored in its test file (NAME.test "
      "beside NAME.alg); exit status 1 on any change");
  test_cmd
      ->add_option("PATH", test.paths,
                   "Algorithm files, test files or directories (every algorithm below a "
                   "directory that has a test file)")
      ->required();
  test_cmd->add_flag("--update", test.update,
                     "Write the test files from the current variants instead (in a directory, "
                     "for every algorithm)");
  test_cmd->add_option("--base", test.base_file,
                       "Build each variant on a base environment from this file (for tests "
                       "that name no @base; --update records it in new test files)");
  test_cmd->add_option("--seeds", test.seeds, "Number of seeds of a new test file")
      ->check(CLI::Range(1, 10000));
  add_encoding(test_cmd, test.enc);

  cli::serve_options serve;
  double time_limit = 10;
  CLI::App* serve_cmd =
      app.add_subcommand("serve",
                         "Serve solve, sample, check and grade as JSON over HTTP (under /v1/), "
                         "and the authors' workbench at /");
  serve_cmd
      ->add_option("--listen", serve.listen,
                   "Address and port (HOST:PORT; port 0 picks a free one)")
      ->capture_default_str();
  serve_cmd
      ->add_option("--threads", serve.threads,
                   "Engine workers: requests worked on at once (default: one per core, "
                   "at least 2)")
      ->check(CLI::Range(1, 1024));
  serve_cmd
      ->add_option("--queue", serve.queue,
                   "Requests that may wait for a worker before 503 is answered (default: "
                   "64 per worker)")
      ->check(CLI::Range(1, 1000000));
  serve_cmd->add_option("--cors", serve.cors_origin,
                        "Let browser pages of this origin call the service (https://host:port, "
                        "or * for any)");
  serve_cmd
      ->add_option("--token-file", serve.token_file,
                   "Every /v1/ request but health and openapi.json, and /metrics, must send "
                   "'Authorization: Bearer TOKEN' with the token in this file")
      ->check(CLI::ExistingFile);
  serve_cmd->add_option("--max-body", serve.limits.max_body, "Largest request body in bytes")
      ->capture_default_str()
      ->check(CLI::Range(std::size_t{1024}, std::size_t{16} << 20));
  serve_cmd->add_option("--max-count", serve.limits.max_count, "Most variants of one sample")
      ->capture_default_str()
      ->check(CLI::Range(int64_t{1}, int64_t{10000000}));
  serve_cmd
      ->add_option("--time-limit", time_limit,
                   "Seconds a solve, sample or check may run before it is answered with an "
                   "error")
      ->capture_default_str()
      ->check(CLI::Range(0.001, 3600.0));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }

  try {
    if (solve_cmd->parsed()) return cli::run_solve(solve, std::cout, std::cerr);
    if (sample_cmd->parsed()) {
      for (std::size_t start = 0; !vars.empty() && start <= vars.size();) {
        const std::size_t comma = std::min(vars.find(',', start), vars.size());
        if (comma > start) sample.vars.push_back(vars.substr(start, comma - start));
        start = comma + 1;
      }
      sample.progress = isatty(STDERR_FILENO) != 0 && sample.count >= 2000;
      return cli::run_sample(sample, std::cout, std::cerr);
    }
    if (check_cmd->parsed()) return cli::run_check(check, std::cout);
    if (grade_cmd->parsed()) return cli::run_grade(grade, std::cout, std::cerr);
    if (serve_cmd->parsed()) {
      serve.limits.time_limit =
          std::chrono::milliseconds(static_cast<int64_t>(std::llround(time_limit * 1000)));
      return cli::run_serve(serve, std::cerr);
    }
    if (test_cmd->parsed()) return cli::run_test(test, std::cout, std::cerr);
    if (repl_cmd->parsed()) {
      return cli::run_repl(repl, std::cin, std::cout, std::cerr, isatty(STDIN_FILENO) != 0);
    }
  } catch (const cli::command_error& e) {
    std::cerr << "zekalg: " << e.what() << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "zekalg: " << e.what() << '\n';
    return 1;
  }
  return 2;
}
