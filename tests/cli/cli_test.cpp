// The zekalg command's pieces, in-process: encodings, the output of each
// subcommand, and the diagnostics of check.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "check_command.h"
#include "cli_test_support.h"
#include "repl_command.h"
#include "sample_command.h"
#include "solve_command.h"
#include "tools/algorithm_file.h"
#include "tools/encoding.h"
#include "tools/question.h"
#include "tools/question_test.h"
#include "tools/sampling.h"
#include "tools/variant.h"

namespace {

using cli_test::kSource;
using cli_test::read_file;
const std::string kDash = "\xE2\x80\x93";

std::string example(const std::string& name) { return kSource + "/examples/" + name; }

// --- Encodings -------------------------------------------------------------

struct conversion_case {
  const char* name;
  std::string utf8;
  std::string cp1252;
};

const conversion_case kConversions[] = {
    {"Ascii", "r_a|1|9", "r_a|1|9"},
    {"EnDash",
     "\xE2\x80\x93"
     "5",
     "\x96"
     "5"},
    {"EuroAndQuotes", "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D", "\x80 \x93x\x94"},
    {"Latin1", "x\xC2\xB2 \xC3\xA9", "x\xB2 \xE9"},
    {"UndefinedByteRoundTrips", "\xC2\x81", "\x81"},
};

class EncodingConversion : public testing::TestWithParam<conversion_case> {};

TEST_P(EncodingConversion, BothWays) {
  EXPECT_EQ(cli::utf8_to_cp1252(GetParam().utf8), GetParam().cp1252);
  EXPECT_EQ(cli::cp1252_to_utf8(GetParam().cp1252), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(Cases, EncodingConversion, testing::ValuesIn(kConversions),
                         [](const auto& info) { return std::string(info.param.name); });

struct bad_utf8_case {
  const char* name;
  std::string text;
  std::size_t offset;
};

const bad_utf8_case kBadUtf8[] = {
    {"LoneContinuation", "ab\x80", 2},
    {"Truncated", "a\xE2\x80", 1},
    {"Overlong", "\xC0\xAF", 0},
    {"Surrogate", "x\xED\xA0\x80", 1},
    {"NoCodePageByte",
     "\xE2\x88\x9A"
     "2",
     0},  // the square root sign
};

class EncodingRejects : public testing::TestWithParam<bad_utf8_case> {};

TEST_P(EncodingRejects, WithOffset) {
  try {
    cli::utf8_to_cp1252(GetParam().text);
    FAIL() << "accepted";
  } catch (const cli::encoding_error& e) {
    EXPECT_EQ(e.offset, GetParam().offset);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, EncodingRejects, testing::ValuesIn(kBadUtf8),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EncodingRoundTrip, EveryByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(cli::utf8_to_cp1252(cli::cp1252_to_utf8(all)), all);
}

// --- Files -----------------------------------------------------------------

TEST(AlgorithmFile, ErrorsNameFileAndLine) {
  const std::string dir = testing::TempDir();
  const auto expect_error = [&](const std::string& name, const std::string& bytes,
                                const std::string& expected) {
    const std::string path = dir + name;
    std::ofstream(path, std::ios::binary) << bytes;
    try {
      cli::load_algorithm_file(path, cli::encoding::utf8);
      ADD_FAILURE() << name << " accepted";
    } catch (const cli::command_error& e) {
      EXPECT_EQ(e.what(), path + expected) << name;
    }
  };
  expect_error("bad_utf8.alg", "r_a|1|9\nq_b|a\xFF\n",
               ":2: invalid UTF-8 (the file reads as Windows-1252 text: try --encoding cp1252)");
  // 0x81 has no character in Windows-1252 either.
  expect_error("binary.alg", "r_a|1|9\nq_b|a\xFF\x81\n", ":2: invalid UTF-8");
  expect_error("nul.alg", std::string("r_a|1|9\n\nq_\0b", 13),
               ":3: a NUL byte (is this a text file?)");
  expect_error("no_byte.alg", "k_t|\"\xE2\x88\x9A\"",
               ":1: character U+221A has no Windows-1252 byte (use --encoding cp1252 for raw "
               "bytes)");
  try {
    cli::load_algorithm_file(dir + "missing.alg", cli::encoding::utf8);
    ADD_FAILURE() << "missing file accepted";
  } catch (const cli::command_error& e) {
    EXPECT_EQ(e.what(), dir + "missing.alg: cannot open the file");
  }
}

TEST(AlgorithmFile, LinesKeepFileNumbers) {
  const auto lines = cli::split_definition_lines("\r\nr_a|1|9\r\n\n\nq_b|a\r");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].number, 2);
  EXPECT_EQ(lines[1].number, 5);
  EXPECT_EQ(lines[1].text, "q_b|a");
}

// --- solve -----------------------------------------------------------------

struct solve_case {
  const char* name;
  std::string file;
  std::vector<std::string> requests;
  std::string out;
  std::string err;
  int status;
};

const solve_case kSolves[] = {
    {"EveryVariable", "sum_of_two.alg", {}, "a = 1\nb = 8\nsum = 9\n", "", 0},
    {"Requests", "sum_of_two.alg", {"a-b", "sum*1000"}, kDash + "7\n9000\n", "", 0},
    {"EnDashInText", "quadratic.alg", {"equation"}, "x\xC2\xB2 + 8x " + kDash + " 9 = 0\n", "", 0},
    {"UndefinedRequest",
     "sum_of_two.alg",
     {"nope", "a"},
     "1\n",
     example("sum_of_two.alg") + ": error: request 'nope': variable 'nope' not defined\n",
     1},
    {"GroupedLists", "discount.alg", {"item", "price", "sale"}, "jacket\n80\n60.00\n", "", 0},
};

class SolveCommand : public testing::TestWithParam<solve_case> {};

TEST_P(SolveCommand, PrintsExactly) {
  cli::solve_options options;
  options.file = example(GetParam().file);
  options.requests = GetParam().requests;
  options.seed = 5;
  if (GetParam().file != "sum_of_two.alg") options.seed = 7;
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(cli::run_solve(options, out, err), GetParam().status);
  EXPECT_EQ(out.str(), GetParam().out);
  EXPECT_EQ(err.str(), GetParam().err);
}

INSTANTIATE_TEST_SUITE_P(Cases, SolveCommand, testing::ValuesIn(kSolves),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SolveCommandEncoding, Cp1252PassesBytes) {
  cli::solve_options options;
  options.file = example("sum_of_two.alg");
  options.requests = {"a-b"};
  options.seed = 5;
  options.enc = cli::encoding::cp1252;
  std::ostringstream out, err;
  ASSERT_EQ(cli::run_solve(options, out, err), 0);
  EXPECT_EQ(out.str(),
            "\x96"
            "7\n");
}

TEST(SolveCommandErrors, ConditionNamesItsLine) {
  const std::string path = testing::TempDir() + "never.alg";
  std::ofstream(path) << "r_a|1|6\n\nc_x|a>6\n";
  cli::solve_options options;
  options.file = path;
  std::ostringstream out, err;
  EXPECT_EQ(cli::run_solve(options, out, err), 1);
  EXPECT_EQ(err.str(), path + ":3: error: condition a>6 could not be satisfied\n");
}

std::string write_algorithm(const std::string& name, const std::string& text) {
  const std::string path = testing::TempDir() + name;
  cli_test::write_file(path, text);
  return path;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

// Every variable solved: the values a host gets on stdout; on stderr each
// failing variable's own error once, then the ones that only repeat it.
struct failure_report_case {
  const char* name;
  std::string algorithm;
  std::string base;  // "" for none
  std::string out;
  std::string err;  // {file} and {base} stand for the paths
  int status;
};

const failure_report_case kFailureReports[] = {
    {"EachOwnErrorOnce", "r_x|1|5\nq_a|x/0|0\nq_b|a+1|0\nq_c|zz+1|0\nq_d|b*2|0\nq_f|3|0\n", "",
     "x = 1\n",
     "{file}:2: error: a: error while evaluating '/': division by zero\n"
     "{file}:4: error: c: variable 'zz' not defined\n"
     "{file}: note: b, d and f fail only because of the errors above (a host that solves them "
     "gets the first error)\n",
     1},
    {"ForwardReferenceBelongsToItsLine", "q_a|z+1\nq_z|1/0\nq_f|3\n", "", "",
     "{file}:2: error: z: error while evaluating '/': division by zero\n"
     "{file}: note: a and f fail only because of the error above (a host that solves them gets "
     "the first error)\n",
     1},
    {"BaseVariableFails", "q_p|bad+1\nq_s|2\n", "r_n|1|9\nq_bad|n/0\n", "",
     "{base}:2: error: bad: error while evaluating '/': division by zero\n"
     "{file}: note: p and s fail only because of the error above (a host that solves them gets "
     "the first error)\n",
     1},
    {"NameTrapsWarnFirst", "k_e|3\nk_two|2\nq_mid|two*2\n", "k_pi|3\n",
     "e = 2.718282\ntwo = 2\nmid = 4\n",
     "{base}:1: warning: defines nothing a lookup can reach: 'pi' is a reserved word (every "
     "formula and request reads it as 3.141593); choose another name\n"
     "{file}:1: warning: defines nothing a lookup can reach: 'e' is a reserved word (every "
     "formula and request reads it as 2.718282); choose another name\n"
     "{file}:3: warning: 'mid' is also the name of a built-in function: mid(...) calls the "
     "built-in, and readers of the formula may take one for the other; choose another name\n",
     0},
};

class SolveFailureReport : public testing::TestWithParam<failure_report_case> {};

TEST_P(SolveFailureReport, Exactly) {
  const failure_report_case& c = GetParam();
  cli::solve_options options;
  options.file = write_algorithm(std::string(c.name) + ".alg", c.algorithm);
  if (!c.base.empty())
    options.base_file = write_algorithm(std::string(c.name) + "_base.alg", c.base);
  options.seed = 1;
  std::ostringstream out, err;
  EXPECT_EQ(cli::run_solve(options, out, err), c.status);
  EXPECT_EQ(out.str(), c.out);
  EXPECT_EQ(err.str(),
            replaced(replaced(c.err, "{file}", options.file), "{base}", options.base_file));
}

INSTANTIATE_TEST_SUITE_P(Cases, SolveFailureReport, testing::ValuesIn(kFailureReports),
                         [](const auto& info) { return std::string(info.param.name); });

// --- sample ----------------------------------------------------------------

std::vector<std::string> split(const std::string& text, char by) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, by);) parts.push_back(part);
  return parts;
}

TEST(RowSeeds, SpreadAndStable) {
  std::set<uint32_t> seen;
  for (uint64_t row = 1; row <= 10000; ++row) seen.insert(cli::row_seed(1, row));
  EXPECT_EQ(seen.size(), 10000u);
  // Neighbouring rows must not get neighbouring seeds.
  const int64_t gap = static_cast<int64_t>(cli::row_seed(1, 2)) - cli::row_seed(1, 1);
  EXPECT_GT(std::abs(gap), 1000);
  EXPECT_EQ(cli::row_seed(1, 1), 2433363436u);
}

TEST(SampleCommand, CsvRowsComeBackWithSolve) {
  cli::sample_options options;
  options.file = example("right_triangle.alg");
  options.count = 20;
  options.seed = 99;
  options.format = cli::sample_format::csv;
  std::ostringstream out, err;
  ASSERT_EQ(cli::run_sample(options, out, err), 0);
  const auto lines = split(out.str(), '\n');
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[0], "row,seed,m,n,k,a,b,c,area,angle");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto cells = split(lines[i], ',');
    // area is grouped ("1,234"), so it arrives quoted and splits in two.
    ASSERT_GE(cells.size(), 10u) << lines[i];
    EXPECT_EQ(cells[0], std::to_string(i));
    cli::solve_options solve;
    solve.file = options.file;
    solve.requests = {"a", "b", "c"};
    solve.seed = std::stoll(cells[1]);
    std::ostringstream one, none;
    ASSERT_EQ(cli::run_solve(solve, one, none), 0);
    EXPECT_EQ(one.str(), cells[5] + "\n" + cells[6] + "\n" + cells[7] + "\n") << lines[i];
    EXPECT_EQ(std::stoi(cells[5]) * std::stoi(cells[5]) + std::stoi(cells[6]) * std::stoi(cells[6]),
              std::stoi(cells[7]) * std::stoi(cells[7]));
  }
  EXPECT_NE(err.str().find("variants: 20 made, 0 failed"), std::string::npos) << err.str();
}

TEST(SampleCommand, JsonParsesWithFailures) {
  const std::string path = testing::TempDir() + "sometimes.alg";
  // With a > 8 required only the attempts that draw 9 pass; a list position
  // of 1 can never pass the second condition.
  std::ofstream(path) << "r_a|1|9\nl_g|x|1|2\nc_big|a>5\nc_list|g=2\n";
  cli::sample_options options;
  options.file = path;
  options.count = 30;
  options.seed = 3;
  options.format = cli::sample_format::json;
  std::ostringstream out, err;
  ASSERT_EQ(cli::run_sample(options, out, err), 0);
  const auto doc = nlohmann::json::parse(out.str());
  const auto made = doc["summary"]["made"].get<int>();
  const auto failed = doc["summary"]["failed"].get<int>();
  EXPECT_EQ(made + failed, 30);
  EXPECT_GT(made, 0);
  EXPECT_GT(failed, 0);
  EXPECT_EQ(doc["variants"].size(), static_cast<std::size_t>(made));
  for (const auto& v : doc["variants"]) EXPECT_EQ(v["values"]["g"], "2");
  int64_t counted = 0;
  for (const auto& f : doc["failures"]) {
    counted += f["count"].get<int64_t>();
    EXPECT_EQ(f["message"].get<std::string>().rfind("condition ", 0), 0u) << f;
  }
  EXPECT_EQ(counted, failed);
  EXPECT_NE(err.str().find("failed creations:\n"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find(path + ":4: condition g=2 could not be satisfied"), std::string::npos)
      << err.str();
}

TEST(SampleCommand, TableSummaryShowsRangesAndHistogram) {
  cli::sample_options options;
  options.file = example("sum_of_two.alg");
  options.count = 8;
  options.seed = 1;
  options.vars = {"SUM"};
  std::ostringstream out, err;
  ASSERT_EQ(cli::run_sample(options, out, err), 0);
  const std::string text = out.str();
  EXPECT_EQ(text.substr(0, text.find("variants:")),
            "row  seed        sum\n"
            "1    2433363436  8\n"
            "2    3203108257  14\n"
            "3    4170425070  11\n"
            "4    1908508304  8\n"
            "5    1908102360  14\n"
            "6    3276606463  14\n"
            "7    3768183916  3\n"
            "8    2246556431  5\n\n");
  EXPECT_NE(text.find("variants: 8 made, 0 failed, 5 distinct"), std::string::npos);
  EXPECT_NE(text.find("sum: 3 .. 14, 5 distinct values\n"
                      "   3   12.5%  ##########\n"
                      "   5   12.5%  ##########\n"
                      "   8   25.0%  ####################\n"
                      "  11   12.5%  ##########\n"
                      "  14   37.5%  ##############################\n"),
            std::string::npos)
      << text;
}

TEST(SampleCommand, FailingVariablesToldOnceWithCounts) {
  const std::string path =
      write_algorithm("cascade.alg", "r_x|1|5\nq_a|x/0|0\nq_b|a+1|0\nq_c|zz+1|0\nq_f|3|0\n");
  cli::sample_options options;
  options.file = path;
  options.count = 4;
  options.seed = 1;
  std::ostringstream out, err;
  EXPECT_EQ(cli::run_sample(options, out, err), 1);
  const std::string again = " (first in row 1: zekalg solve " + path + " --seed 2433363436)\n";
  EXPECT_NE(out.str().find("failing variables:\n"
                           "  4 x " +
                           path + ":2: a: error while evaluating '/': division by zero" + again +
                           "  4 x " + path + ":4: c: variable 'zz' not defined" + again +
                           "  note: b and f fail only because of the errors above, in 4 rows"),
            std::string::npos)
      << out.str();

  options.format = cli::sample_format::json;
  std::ostringstream json_out;
  EXPECT_EQ(cli::run_sample(options, json_out, err), 1);
  const auto doc = nlohmann::json::parse(json_out.str());
  ASSERT_EQ(doc["failures"].size(), 2u) << doc;
  const std::pair<std::string, int> expected[] = {{"a", 2}, {"c", 4}};
  for (std::size_t i = 0; i < 2; ++i) {
    const auto& f = doc["failures"][i];
    EXPECT_EQ(f["variable"], expected[i].first) << f;
    EXPECT_EQ(f["line"], expected[i].second) << f;
    EXPECT_EQ(f["count"], 4) << f;
    EXPECT_EQ(f["first_seed"], 2433363436u) << f;
  }
  EXPECT_EQ(doc["cascade"], nlohmann::json::parse(R"([{"variable":"b","count":4},
                                                      {"variable":"f","count":4}])"));
}

TEST(SampleCommand, RowsWithBaseComeBackWithSolve) {
  // The base draws too, so a row comes back only when the base is built
  // after the row's seed, as solve builds it.
  const std::string base = write_algorithm("sample_base.alg", "r_n|1|9\nr_m|10|20\n");
  const std::string path = write_algorithm("on_base.alg", "r_k|1|5\nq_p|n*k\nq_s|m+k\n");
  cli::sample_options options;
  options.file = path;
  options.base_file = base;
  options.count = 12;
  options.seed = 8;
  options.format = cli::sample_format::csv;
  std::ostringstream out, err;
  ASSERT_EQ(cli::run_sample(options, out, err), 0) << err.str();
  const auto lines = split(out.str(), '\n');
  ASSERT_EQ(lines.size(), 13u);
  std::set<std::string> bases;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto cells = split(lines[i], ',');
    ASSERT_EQ(cells.size(), 5u) << lines[i];
    cli::solve_options solve;
    solve.file = path;
    solve.base_file = base;
    solve.seed = std::stoll(cells[1]);
    std::ostringstream one, none;
    ASSERT_EQ(cli::run_solve(solve, one, none), 0) << none.str();
    EXPECT_EQ(one.str(), "k = " + cells[2] + "\np = " + cells[3] + "\ns = " + cells[4] + "\n");
    cli::repl_options repl;
    repl.file = path;
    repl.base_file = base;
    repl.seed = solve.seed;
    std::istringstream in("p/k\ns-k\n");
    std::ostringstream shown;
    ASSERT_EQ(cli::run_repl(repl, in, shown, none, false), 0);
    bases.insert(shown.str());
    EXPECT_EQ(shown.str(), std::to_string(std::stoi(cells[3]) / std::stoi(cells[2])) + "\n" +
                               std::to_string(std::stoi(cells[4]) - std::stoi(cells[2])) + "\n");
  }
  EXPECT_GT(bases.size(), 1u) << "the base drew the same values in every row";
}

// Up to 30 distinct numbers get a bar each; beyond, ranges of whole steps of
// the values' grid, so that a uniform draw shows bars of equal height (ranges
// whose edges fell between values alternated about 13% / 7%).
struct histogram_case {
  const char* name;
  std::string line;
  std::string kind;
  std::size_t bars;
  std::string last_label;
};

const histogram_case kHistograms[] = {
    {"ElevenIntegers", "r_v|0|10", "values", 11, "10"},
    {"TwentyIntegers", "r_v|1|20", "values", 20, "20"},
    {"TwentyFiveAroundZero", "r_v|-12|12", "values", 25, "12"},
    {"FifteenHalves", "r_v|1|8|0.5", "values", 15, "8"},
    {"HundredAndOneIntegers", "r_v|0|100", "bins", 10, "90 .. 100"},
    {"HundredthsOnTheirGrid", "r_v|0|0.99|0.01", "bins", 10, "0.89 .. 0.98"},
    {"NoGrid", "q_v|sqrt(2)*r|6\nr_r|1|40", "bins", 10, "51.0531 .. 56.5685"},
    {"BigIntegersAsWritten", "l_v|g|1000000|2000000|3000000", "values", 3, "3000000"},
};

class SampleHistogram : public testing::TestWithParam<histogram_case> {};

TEST_P(SampleHistogram, BarsPerValueOrRange) {
  const histogram_case& c = GetParam();
  cli::sample_options options;
  options.file = write_algorithm(std::string(c.name) + ".alg", c.line + "\n");
  options.count = 3000;
  options.seed = 2;
  options.format = cli::sample_format::json;
  std::ostringstream out, err;
  ASSERT_EQ(cli::run_sample(options, out, err), 0);
  const auto h = nlohmann::json::parse(out.str())["histograms"]["v"];
  EXPECT_EQ(h["kind"], c.kind) << h;
  ASSERT_EQ(h["bars"].size(), c.bars) << h;
  EXPECT_EQ(h["bars"].back()["label"], c.last_label) << h;
  int64_t total = 0;
  for (const auto& bar : h["bars"]) total += bar["count"].get<int64_t>();
  EXPECT_EQ(total, 3000);
  // The table shows the same bars.
  EXPECT_NE(err.str().find(" " + c.last_label + "  "), std::string::npos) << err.str();
}

INSTANTIATE_TEST_SUITE_P(Cases, SampleHistogram, testing::ValuesIn(kHistograms),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SampleCommand, UnknownVariableIsAnError) {
  cli::sample_options options;
  options.file = example("sum_of_two.alg");
  options.vars = {"nope"};
  std::ostringstream out, err;
  EXPECT_THROW(cli::run_sample(options, out, err), cli::command_error);
}

// --- repl ------------------------------------------------------------------

TEST(ReplCommand, PipedLinesAreSolvedInOneEnvironment) {
  cli::repl_options options;
  options.file = example("sum_of_two.alg");
  options.seed = 5;
  std::istringstream in("a\n\nb-a\nfoo(\nsum\n:quit\na\n");
  std::ostringstream out, err;
  EXPECT_EQ(cli::run_repl(options, in, out, err, false), 0);
  EXPECT_EQ(out.str(), "1\n7\nerror: missing/illegal operand\n9\n");
}

// --- check -----------------------------------------------------------------

TEST(CheckCommand, BrokenAlgorithmDiagnostics) {
  cli::algorithm_file file =
      cli::load_algorithm_file(kSource + "/tests/cli/broken.alg", cli::encoding::utf8);
  file.path = "tests/cli/broken.alg";
  cli::check_options options;
  options.creations = 30;
  std::ostringstream out;
  EXPECT_EQ(cli::report_check(file, options, out), 1);
  EXPECT_EQ(out.str(), read_file(kSource + "/tests/cli/broken.expected"));
}

struct check_case {
  const char* name;
  std::string algorithm;
  std::vector<std::string> expected;  // "[base ]LINE[:COLUMN]: error|warning: text"
  std::string base = {};
};

std::string chain(int length) {
  // v1 uses v2, ..., each defined after its user.
  std::string text;
  for (int i = 1; i < length; ++i) {
    text += "q_v" + std::to_string(i) + "|v" + std::to_string(i + 1) + "+1\n";
  }
  return text + "k_v" + std::to_string(length) + "|1\n";
}

const check_case kChecks[] = {
    {"Clean", "r_a|1|99\nq_b|a*2|0\n", {}},
    // Every variable's display is looked at, also after an earlier one
    // failed.
    {"DisplayAfterAnEarlierFailure",
     "q_w|1/0\nq_big|10^12|0|0|1\n",
     {"1: error: solving 'w' fails: w: error while evaluating '/': division by zero (zekalg "
      "solve algorithm.alg --seed 166854045)",
      "2: warning: value reaches 10^10 with grouping and no scientific format: it shows as 1e12 "
      "(zekalg solve algorithm.alg --seed 166854045)"}},
    {"ShowsAsZero",
     "k_G|6.674e-11\nr_a|1|99\n",
     {"1: warning: value 6.674e-11 shows as 0.000000: give it more decimals, or the scientific "
      "format (zekalg solve algorithm.alg --seed 166854045)"}},
    {"ScientificWithoutCarry",
     "q_x|999600|2|1\nr_a|1|99\n",
     {"1: warning: value shows as 10.00e5: the scientific display rounds the digits before the "
      "exponent without carrying into it (1 more decimal, or a rounded value, avoids it) (zekalg "
      "solve algorithm.alg --seed 166854045)"}},
    {"FewVariants",
     "r_a|1|5\nq_b|a*2|0\n",
     {"0: warning: the question has 5 distinct variants: students will often get the same one "
      "(widen the ranges or loosen the conditions)"}},
    {"PromptsShareAnAnswer",
     "r_a|1|9\nr_b|1|9\nq_s|(a+b) mod 2|0\nq_p|str(a,0) & \" + \" & str(b,0) & \": odd?\"\n"
     "?prompt|p\n?numeric|s\n",
     {"6: warning: 41 of 81 distinct prompts share one right answer (0): a student who guesses it "
      "is often right"}},
    {"ChainWithinLimit", chain(20), {}},
    {"ChainBeyondLimit",
     chain(21),
     {"1: error: a chain of 21 forward references (v1 -> v2 -> ... -> v21) is deeper than the "
      "nesting limit of 20 for solving; define variables after the ones they use",
      "20: error: solving 'v1' fails: v20: error in '(v21+1)': stack overflow (zekalg solve "
      "algorithm.alg --seed 166854045)"}},
    {"Cycle",
     "q_a|b+1\nq_b|a+1\n",
     {"1: error: 'b' needs itself: a -> b -> a",
      "1: error: solving 'a' fails: a: endless loop: 'a' refers to itself (zekalg solve "
      "algorithm.alg --seed 166854045)",
      "2: error: solving 'b' fails: b: endless loop: 'b' refers to itself (zekalg solve "
      "algorithm.alg --seed 166854045)"}},
    // A solve stops at the first failing variable; check tells each.
    {"EveryFailingVariable",
     "q_a|1\nq_b|1/0|2\nq_c|b+1\nq_d|a/0|1\n",
     {"2: error: solving 'b' fails: b: error while evaluating '/': division by zero (zekalg "
      "solve algorithm.alg --seed 166854045)",
      "4: error: solving 'd' fails: d: error while evaluating '/': division by zero (zekalg "
      "solve algorithm.alg --seed 166854045)"}},
    {"InvisibleCharacters",
     "k_a|10\nq_x|\ta*2|0\nq_y|a\xA0+1\nk_t|\x93hello\x94\nk_u|\"\t\x93\"\n",
     {"2:5: error: a tab: the engine reads it as part of a name or number, not as a space: use "
      "spaces",
      "2: error: solving 'x' fails: x: variable '\t20' not defined (zekalg solve algorithm.alg "
      "--seed 166854045)",
      "3:6: error: a non-breaking space: the engine does not read it as a space (it comes with "
      "text pasted from a word processor): type a plain space",
      "3: error: solving 'y' fails: y: error while evaluating '+': illegal/missing operand "
      "(zekalg solve algorithm.alg --seed 166854045)",
      "4:5: error: a curly quote \x93: texts are written between straight quotes: type \" "
      "instead",
      "4: error: constant 't' must be one literal (a number or a quoted text); use q_ for a "
      "formula",
      "4: error: solving 't' fails: t: invalid definition (zekalg solve algorithm.alg --seed "
      "166854045)"}},
    // The messages hold the drawn value; the variable is told once.
    {"OneErrorPerVariable",
     "r_a|1|50\nq_x|a\t+1|0\n",
     {"2:6: error: a tab: the engine reads it as part of a name or number, not as a space: use "
      "spaces",
      "2: error: solving 'x' fails: x: error while evaluating '+': illegal/missing operand "
      "(zekalg solve algorithm.alg --seed 166854045)"}},
    {"FaultInTheBase",
     "q_y|m+1|0\n",
     {"base 2: error: solving 'm' fails: m: error while evaluating '/': division by zero "
      "(zekalg solve algorithm.alg --base base.alg --seed 166854045)",
      "base 3:6: error: a tab: the engine reads it as part of a name or number, not as a space: "
      "use spaces",
      "base 3: error: solving 'n' fails: n: error while evaluating '+': illegal/missing operand "
      "(zekalg solve algorithm.alg --base base.alg --seed 166854045)"},
     "k_z|1\nq_m|1/0|2\nq_n|z\t+1\n"},
    {"WordOperatorText",
     "q_t|\"or\"\n",
     {"1: error: the text \"or\" is read as the word operator or, not as text (write it as \"o\" "
      "& \"r\")",
      "1: error: solving 't' fails: t: error while evaluating 'or': number required (zekalg "
      "solve algorithm.alg --seed 166854045)"}},
    {"NameWithBlank",
     "k_a b|1\n",
     {"1: error: defines nothing a lookup can reach: the name 'a b' holds ' ', which a formula "
      "cannot spell as part of a name"}},
    {"HiddenFunction",
     "f_sqrt|x|x\n",
     {"1: error: function 'sqrt' is never called: the built-in of that name comes first"}},
    {"FunctionArity",
     "f_two|a+b|a|b\nq_x|two(1)\n",
     {"2: error: 'two' takes 2 arguments, called with 1",
      "2: error: solving 'x' fails: x: error while calling 'two': too few parameters (zekalg "
      "solve algorithm.alg --seed 166854045)"}},
    {"ExponentIsNoName", "q_x|2e-3*1e5|3\n", {}},
    {"ListOnlyConditionWithRandomIsFine", "l_a|g|1|2\nr_b|1|30\nc_x|a+b>2\n", {}},
    {"Empty", "", {"0: warning: the algorithm is empty: it defines nothing to solve"}},
    {"NotEqualIsFactorial",
     "k_a|3\nc_x|a!=6\nq_t|\"a!=b\"\n",
     {"2: warning: '!=' reads as '!' (factorial) followed by '='; to test \"not equal\" write "
      "'<>'"}},
    {"RangeWiderThanTheGenerator",
     "r_p|1000|1000000\nr_q|0|32767\n",
     {"1: warning: the range has 999001 values but the generator makes only 32768 distinct "
      "draws: 3.3% of its values can ever appear, about one in every 31 (narrow the range, "
      "widen the step, or build the number from smaller draws)"}},
    {"NamesTakenByTheLanguage",
     "q_e|2|0\nq_mid|3|0\nq_and|2|0\n",
     {"1: error: defines nothing a lookup can reach: 'e' is a reserved word (every formula and "
      "request reads it as 2.718282); choose another name",
      "2: error: 'mid' is also the name of a built-in function: mid(...) calls the built-in, "
      "and readers of the formula may take one for the other; choose another name",
      "3: error: defines nothing a lookup can reach: 'and' is the word operator and in "
      "formulas; choose another name"}},
    // The engine names the condition that failed last (a>b); the one that
    // fails every attempt reaching it is the one to fix.
    {"MostFailingCondition",
     "r_a|1|6\nr_b|1|6\nc_x|a>b\nc_y|a+b>11\n",
     {"3: warning: condition fails in 58% of the attempts that reach it (11674 of 20000, over "
      "20 trial creations)",
      "4: warning: condition fails in 100% of the attempts that reach it (8326 of 8326, over 20 "
      "trial creations)",
      "4: error: creation fails in 20 of 20 trial creations: no attempt of 1000 satisfies every "
      "condition; this condition fails most often (in 8326 of 8326 attempts that reach it); "
      "solving reports \"condition a>b could not be satisfied\" (zekalg solve algorithm.alg "
      "--seed 166854045)"}},
    {"ErrorInConditionHasItsLine",
     "r_a|1|6\nc_x|a/0\n",
     {"2: error: creation fails in 20 of 20 trial creations: error while evaluating '/': "
      "division by zero (zekalg solve algorithm.alg --seed 166854045)"}},
    // Question declarations: the lines themselves, the names they give, and
    // what the trial variants show of them.
    {"QuestionDeclared",
     "r_a|1|99\nq_p|\"Add 2 to \" & str(a,0)\nq_s|a+2|0\n?prompt|p\n?numeric|s|abs 0.5\n"
     "?numeric|g\n",
     {},
     "k_g|9.81\n"},
    {"QuestionLinesMalformed",
     "k_a|1\n?numeric|a|abs\n?numeric|a|rel 5\n?numeric|a|sig 0\n?numeric|a|within 2\n"
     "?text|a|fuzzy\n?choice|a|b\n?prompt|a b\n?answer|a\n?solution\n?numeric|a||\n",
     {"2: error: tolerance 'abs' is not one of abs X, rel X%, rel X, sig N or dec N (or empty: "
      "the value as shown)",
      "3: error: tolerance 'rel 5' allows 500% of the value: write 'rel 5%' for 5 percent",
      "4: error: tolerance 'sig 0' needs a whole number of figures from 1 to 15",
      "5: error: tolerance 'within 2' is not one of abs X, rel X%, rel X, sig N or dec N (or "
      "empty: the value as shown)",
      "6: error: ?text compares 'exact' or 'loose' (ignoring case and spaces), not 'fuzzy'",
      "7: error: ?choice takes the right option and every option: ?choice|RIGHT|OPTION|OPTION|...",
      "8: error: ?prompt names 'a b', which is not a variable name",
      "9: error: unknown declaration '?answer' (declarations are ?prompt, ?numeric, ?text, "
      "?choice, ?solution and ?feedback)",
      "10: error: ?solution takes one variable: ?solution|NAME",
      "11: error: ?numeric takes a variable and a tolerance: ?numeric|NAME|TOLERANCE (the "
      "tolerance may be empty)"}},
    {"QuestionNamesAndOptions",
     "k_a|1\nk_b|2\nk_p|\"x\"\n?prompt|p\n?prompt|p\n?numeric|nothing\n?choice|c|a|b\n"
     "?choice|a|a|b|A\n",
     {"5: error: second ?prompt (line 4); a question has one prompt",
      "6: error: 'nothing' is declared but defined nowhere",
      "7: error: the right option 'c' is not among the options ('a' and 'b')",
      "8: error: option 'A' is listed twice"}},
    {"QuestionWithoutPart",
     "k_p|\"x\"\n?prompt|p\n",
     {"2: error: the question declares no answer part: add a ?numeric, ?text or ?choice line"}},
    {"QuestionFaultsInTrialVariants",
     "r_a|1|3\nq_o1|a|0\nq_o2|4-a|0\nk_o3|7\nq_r|pi*a|2\nk_t|\"x\"\n?prompt|a\n"
     "?choice|o1|o1|o2|o3\n?numeric|r|abs 0.001\n?numeric|t\n?numeric|r|sig 2\n?numeric|r|abs "
     "0.005\n",
     {"0: warning: the question has 3 distinct variants: students will often get the same one "
      "(widen the ranges or loosen the conditions)",
      "7: error: the prompt 'a' holds a number (1), not a text, in 20 of 20 trial variants "
      "(zekalg solve algorithm.alg --seed 166854045)",
      "8: error: options 'o1' and 'o2' show the same text (2) in 7 of 20 trial variants (zekalg "
      "solve algorithm.alg --seed 1429369878)",
      "9: warning: tolerance 'abs 0.001' is narrower than the precision 'r' is shown with: a "
      "student who types the shown value (3.14) is marked wrong in 20 of 20 trial variants "
      "(zekalg solve algorithm.alg --seed 166854045)",
      "10: error: the numeric part 't' holds a text (x), not a number, in 20 of 20 trial variants "
      "(zekalg solve algorithm.alg --seed 166854045)",
      "11: warning: tolerance 'sig 2' refuses 'r' as it is shown (3.14; give 2 significant "
      "figures): a student who types the shown value is refused in 20 of 20 trial variants "
      "(zekalg solve algorithm.alg --seed 166854045)"}},
};

class CheckDiagnostics : public testing::TestWithParam<check_case> {};

TEST_P(CheckDiagnostics, Exactly) {
  cli::algorithm_file file;
  file.path = "algorithm.alg";
  file.text = GetParam().algorithm;
  file.lines = cli::split_definition_lines(file.text);
  cli::algorithm_file base;
  base.path = "base.alg";
  base.text = GetParam().base;
  base.lines = cli::split_definition_lines(base.text);
  std::vector<std::string> got;
  for (const cli::diagnostic& d :
       cli::check_algorithm(file, 20, GetParam().base.empty() ? nullptr : &base)) {
    got.push_back((d.level > 0 ? "base " : "") + std::to_string(d.line) +
                  (d.column > 0 ? ":" + std::to_string(d.column) : "") +
                  (d.error ? ": error: " : ": warning: ") + d.text);
  }
  EXPECT_EQ(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CheckDiagnostics, testing::ValuesIn(kChecks),
                         [](const auto& info) { return std::string(info.param.name); });

// What a numeric answer earns: the tolerance on the variant's value, the
// figures and decimals as written, and a value half way rounded either way.
struct verdict_case {
  const char* tolerance;
  double value;
  const char* shown;  // as the engine displays the value
  const char* answer;
  const char* expected;  // "right", "wrong" or the reason it cannot be read
};

const verdict_case kVerdicts[] = {
    {"abs 0.01", 7.425, "7.43", "7.43", "right"},
    {"abs 0.01", 7.425, "7.43", "7.44", "wrong"},
    {"abs 0.005", 12.345, "12.35", "12.35", "right"},
    {"abs 0.005", 12.345, "12.35", "12.351", "wrong"},
    {"rel 1%", 200, "200", "202", "right"},
    {"rel 0.01", 200, "200", "202.5", "wrong"},
    {"rel 1%", -200,
     "\x96"
     "200",
     "\x96"
     "198",
     "right"},
    {"sig 3", 12.566, "12.57", "12.6", "right"},
    {"sig 3", 12.566, "12.57", "12.57", "give 3 significant figures"},
    {"sig 3", 12.566, "12.57", "12.5", "wrong"},
    {"sig 2", 1234, "1234", "1,200", "right"},
    {"sig 3", 9.996, "10.00", "10.0", "right"},
    {"sig 3", 0.0012345,
     "1.23e\x96"
     "3",
     "1.23e\x96"
     "3",
     "right"},
    {"dec 2", 1.005, "1.00", "1.01", "right"},
    {"dec 2", 1.005, "1.00", "1.0", "give 2 decimals"},
    {"dec 0", 2.5, "3", "2", "right"},
    {"dec 0", 2.5, "3", "2.0", "give a whole number"},
    {"", 3.14159, "3.14", "3.140", "right"},
    {"", 3.14159, "3.14", "3.1416", "wrong"},
};

class NumericVerdicts : public testing::TestWithParam<verdict_case> {};

TEST_P(NumericVerdicts, Judged) {
  const verdict_case& c = GetParam();
  const std::optional<tools::tolerance> tol = tools::parse_tolerance(c.tolerance);
  const std::optional<tools::written_number> shown = tools::read_shown_number(c.shown);
  const std::optional<tools::written_number> answer = tools::read_shown_number(c.answer);
  ASSERT_TRUE(tol && shown && answer);
  const tools::verdict v = tools::judge_number(*tol, c.value, *shown, *answer);
  EXPECT_EQ(v.result == tools::verdict::kind::right   ? "right"
            : v.result == tools::verdict::kind::wrong ? "wrong"
                                                      : v.reason,
            c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, NumericVerdicts, testing::ValuesIn(kVerdicts),
                         [](const auto& info) { return "Row" + std::to_string(info.index + 1); });

// The question examples check clean, and their declarations are the
// tools' alone: the engine draws and shows the same variants without them.
TEST(QuestionExamples, CleanAndDrawnAsWithoutDeclarations) {
  for (const char* name : {"q_area.alg", "q_circle_parts.alg", "q_choice.alg"}) {
    const cli::algorithm_file declared =
        cli::load_algorithm_file(example(name), cli::encoding::utf8);
    ASSERT_TRUE(tools::parse_question(declared).declared()) << name;
    for (const tools::diagnostic& d : tools::check_algorithm(declared, 50)) {
      ADD_FAILURE() << name << ":" << d.line << ": " << d.text;
    }
    std::string plain;
    for (const std::string& line : tools::text_lines(read_file(example(name)))) {
      if (!tools::is_declaration(line)) plain += line + "\n";
    }
    const cli::algorithm_file bare = cli::algorithm_from_text(name, plain, cli::encoding::utf8);
    for (const uint32_t seed : {1u, 7u, 4000000000u}) {
      std::vector<std::string> with;
      std::vector<std::string> without;
      for (const auto& r : tools::solve_variant(declared, nullptr, seed, {}).results) {
        with.push_back(r.request + " = " + r.text);
      }
      for (const auto& r : tools::solve_variant(bare, nullptr, seed, {}).results) {
        without.push_back(r.request + " = " + r.text);
      }
      EXPECT_FALSE(with.empty()) << name;
      EXPECT_EQ(with, without) << name << " " << seed;
    }
    const auto rows = [](const cli::algorithm_file& f) {
      std::vector<std::string> out;
      std::size_t missing = 0;
      const std::vector<std::string> names = *tools::sample_variables(f, {}, missing);
      for (const tools::sample_row& r : tools::sample_variants(f, nullptr, names, 50, 9).rows) {
        std::string row = std::to_string(r.seed);
        for (const std::string& v : r.values) row += "|" + v;
        out.push_back(row);
      }
      return out;
    };
    const std::vector<std::string> declared_rows = rows(declared);
    EXPECT_EQ(declared_rows.size(), 50u) << name;
    EXPECT_EQ(declared_rows, rows(bare)) << name;
  }
}

// Written for a base: the base's names are defined, and trial creations
// build the base first, as solve --base does.
// A chain far longer than the call stack allows is walked, and a text longer
// than the engine takes is told rather than thrown.
TEST(CheckCommand, LongChainOverTheTextLimit) {
  std::string text;
  for (int i = 0; i < 60000; ++i) {
    text += "q_a" + std::to_string(i) + "|a" + std::to_string(i + 1) + "+1\n";
  }
  text += "k_a60000|1\n";
  std::vector<std::string> got;
  for (const cli::diagnostic& d : cli::check_algorithm(
           cli::algorithm_from_text("chain.alg", text, cli::encoding::cp1252), 1)) {
    got.push_back(std::to_string(d.line) + ": " + d.text);
  }
  EXPECT_EQ(got, (std::vector<std::string>{
                     "0: the algorithm has 1057795 bytes, more than the engine takes (1048576): "
                     "every creation fails with \"Unknown error occurred.\"",
                     "1: a chain of 60001 forward references (a0 -> a1 -> ... -> a60000) is "
                     "deeper than the nesting limit of 20 for solving; define variables after "
                     "the ones they use"}));
}

TEST(CheckCommand, BaseDefinesNames) {
  const auto file_of = [](const char* path, const char* text) {
    return cli::algorithm_from_text(path, text, cli::encoding::cp1252);
  };
  const cli::algorithm_file base = file_of("base.alg", "r_g|9|19|0.5\nf_twice|2*x|x\n");
  const cli::algorithm_file child = file_of("child.alg", "q_w|twice(g)*m|1\nk_m|3\nc_ok|w>50\n");
  std::vector<std::string> got;
  for (const cli::diagnostic& d : cli::check_algorithm(child, 20, &base)) got.push_back(d.text);
  EXPECT_EQ(got, std::vector<std::string>{}) << got.front();
  EXPECT_FALSE(cli::check_algorithm(child, 20).empty());
}

}  // namespace
