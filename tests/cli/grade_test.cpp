// Grading a declared question: answers read as students type them, the
// options of a choice in the variant's own order, the variant equal to what
// solve shows, and the calls that cannot run.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli_test_support.h"
#include "grade_command.h"
#include "tools/algorithm_file.h"
#include "tools/grading.h"
#include "tools/question.h"
#include "tools/variant.h"

namespace {

using cli_test::kSource;

tools::algorithm_file text_file(const std::string& text) {
  return tools::algorithm_from_text("q.alg", text, tools::encoding::utf8);
}

tools::algorithm_file example(const std::string& name) {
  return tools::load_algorithm_file(kSource + "/examples/" + name, tools::encoding::utf8);
}

std::string said(const tools::part_verdict& v) {
  return v.result == tools::part_verdict::kind::right   ? "right"
         : v.result == tools::part_verdict::kind::wrong ? "wrong"
                                                        : v.reason;
}

// What one response to a one-part question earns: "right", "wrong", or the
// reason it is unreadable.
std::string verdict_on(const tools::algorithm_file& file, uint32_t seed,
                       const std::string& response) {
  const tools::question_view view = tools::view_question(file, nullptr, seed);
  const std::vector<tools::part_verdict> v =
      tools::grade_utf8_responses(view, tools::parse_question(file), {response});
  return v.size() == 1 ? said(v[0]) : "no verdict";
}

struct typed_case {
  const char* algorithm;
  std::string response;  // UTF-8, as typed
  const char* expected;
};

const std::string kMinusSign = "\xE2\x88\x92";  // U+2212
const std::string kEnDash = "\xE2\x80\x93";

const typed_case kTyped[] = {
    // A comma or a point as the decimal mark, spaces around.
    {"q_x|3.5|1\n?numeric|x|abs 0.01", "3,5", "right"},
    {"q_x|3.5|1\n?numeric|x|abs 0.01", " 3.50 ", "right"},
    {"q_x|3.5|1\n?numeric|x|abs 0.01", "3,52", "wrong"},
    {"q_x|3.5|1\n?numeric|x|abs 0.01", "3.5 cm", "not a number"},
    {"q_x|3.5|1\n?numeric|x|abs 0.01", "", "give a number"},
    {"q_x|3.5|1\n?numeric|x|abs 0.01", "3,5.1", "not a number"},
    // Thousands grouped by the other mark.
    {"q_x|1234.5|1\n?numeric|x|abs 0.01", "1,234.5", "right"},
    {"q_x|1234.5|1\n?numeric|x|abs 0.01", "1.234,5", "right"},
    {"q_x|1234.5|1\n?numeric|x|abs 0.01", "12,34.5", "not a number"},
    // A comma before three digits could be either: refused, unless the
    // answer itself is shown grouped.
    {"q_x|1234|0\n?numeric|x|abs 0.5", "1,234",
     "1,234 could be 1234 or 1.234: write it without the comma, or with a point for the "
     "decimals"},
    {"q_x|1234|0\n?numeric|x|abs 0.5", "1.234", "wrong"},
    {"q_x|0.125|3\n?numeric|x", "0,125", "right"},
    {"q_x|12345|0|0|1\n?numeric|x", "12,345", "right"},
    {"q_x|12345|0|0|1\n?numeric|x", "12,346", "wrong"},
    {"q_x|1234567|0|0|1\n?numeric|x", "1,234,567", "right"},
    // Minus signs and exponent forms.
    {"q_x|-0.00015|2|1\n?numeric|x|rel 1%", "-1.5e-4", "right"},
    {"q_x|-0.00015|2|1\n?numeric|x|rel 1%", "-1.5E-4", "right"},
    {"q_x|-0.00015|2|1\n?numeric|x|rel 1%", kMinusSign + "1,5 \xC3\x97 10^-4", "right"},
    {"q_x|-0.00015|2|1\n?numeric|x|rel 1%", kEnDash + "1.5e" + kEnDash + "4", "right"},
    {"q_x|-0.00015|2|1\n?numeric|x|rel 1%", "-1.5*10^-4", "right"},
    {"q_x|-0.00015|2|1\n?numeric|x|rel 1%",
     "-1.5\xC2\xB7"
     "10^-4",
     "right"},
    {"q_x|-0.00015|2|1\n?numeric|x|rel 1%", "-1.5 x 10^(-4)", "right"},
    {"q_x|-0.00015|2|1\n?numeric|x|rel 1%", "1.5e-4", "wrong"},
    {"q_x|-0.00015|2|1\n?numeric|x|rel 1%", "-1.5 x 10-4", "not a number"},
    {"q_x|-0.00015|2|1\n?numeric|x|rel 1%", "-1.5e", "not a number"},
    // Figures and decimals as the tolerance asks, judged on the value held.
    {"q_x|pi*4|2\n?numeric|x|sig 3", "12,6", "right"},
    {"q_x|pi*4|2\n?numeric|x|sig 3", "12.57", "give 3 significant figures"},
    {"q_x|pi*4|2\n?numeric|x|sig 3", "1.26 x 10^1", "right"},
    {"q_x|pi*4|2\n?numeric|x|sig 3", "12.5", "wrong"},
    {"q_x|2/3|4\n?numeric|x|dec 2", "0,67", "right"},
    {"q_x|2/3|4\n?numeric|x|dec 2", "0.667", "give 2 decimals"},
    // The value held, not the display: 0.6667 is shown, 2/3 is held.
    {"q_x|2/3|4\n?numeric|x|abs 0.00001", "0.666667", "right"},
    {"q_x|2/3|4\n?numeric|x|abs 0.00001", "0.6667", "wrong"},
    // As shown: equal to the display's number.
    {"q_x|2/3|2\n?numeric|x", "0.670", "right"},
    {"q_x|2/3|2\n?numeric|x", "0.6667", "wrong"},
    // A numeric part whose variable shows no number: only its display.
    {"q_x|sqrt(-1)\n?numeric|x", "nan", "right"},
    {"q_x|sqrt(-1)\n?numeric|x", "0", "wrong"},
    // Text parts: exact after trimming, or loose.
    {"k_u|\"cm^2\"\n?text|u", " cm^2 ", "right"},
    {"k_u|\"cm^2\"\n?text|u", "CM^2", "wrong"},
    {"k_u|\"cm^2\"\n?text|u|loose", "C M ^2", "right"},
    {"k_u|\"cm^2\"\n?text|u|loose", "cm2", "wrong"},
    {"k_u|\"Caf\xC3\xA9\"\n?text|u|loose", "CAF\xC3\x89", "right"},
    {"k_u|\"cm^2\"\n?text|u", "\xE2\x88\x9A", "wrong"},  // no byte in the engine's code page
};

class TypedAnswers : public testing::TestWithParam<typed_case> {};

TEST_P(TypedAnswers, Judged) {
  const typed_case& c = GetParam();
  EXPECT_EQ(verdict_on(text_file(c.algorithm), 1, c.response), c.expected) << c.response;
}

INSTANTIATE_TEST_SUITE_P(Cases, TypedAnswers, testing::ValuesIn(kTyped),
                         [](const auto& info) { return "Row" + std::to_string(info.index + 1); });

// A choice is answered by an option's text or its position in the order
// shown; a number that is an option's text is that option, wherever it
// stands.
TEST(ChoiceAnswers, ByTextOrPosition) {
  const tools::algorithm_file words =
      text_file("k_a|\"ten\"\nk_b|\"twenty\"\nk_c|7\nk_d|\"none\"\n?choice|b|a|b|c|d");
  const tools::algorithm_file numbers = text_file("k_a|1\nk_b|2\nk_c|3\nk_d|4\n?choice|b|a|b|c|d");
  const std::string how = "give an option as shown, or its position from 1 to 4";
  int moved = 0;  // variants where the option "2" is not second
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    const int right = tools::view_question(words, nullptr, seed).parts.at(0).right_option;
    for (const auto& [response, expected] :
         std::vector<std::pair<std::string, std::string>>{{" twenty ", "right"},
                                                          {"ten", "wrong"},
                                                          {"7", "wrong"},
                                                          {std::to_string(right), "right"},
                                                          {std::to_string(right % 4 + 1), "wrong"},
                                                          {"5", how},
                                                          {"0", how},
                                                          {"Twenty", how},
                                                          {"", how}}) {
      EXPECT_EQ(verdict_on(words, seed, response), expected) << seed << " '" << response << "'";
    }
    const tools::part_view p = tools::view_question(numbers, nullptr, seed).parts.at(0);
    moved += p.options.at(1) == "2" ? 0 : 1;
    EXPECT_EQ(verdict_on(numbers, seed, "2"), "right") << seed;
    EXPECT_EQ(verdict_on(numbers, seed, "3"), "wrong") << seed;
  }
  EXPECT_GT(moved, 0);
}

// The options' order: one seed, one order; every option comes first for
// some seed; the variant's values are those solve shows for the seed.
TEST(ChoiceOrder, OneSeedOneOrderEveryOptionFirst) {
  const tools::algorithm_file file = example("q_choice.alg");
  const tools::question q = tools::parse_question(file);
  std::set<std::string> first_variable;
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    const tools::question_view view = tools::view_question(file, nullptr, seed);
    const tools::part_view& p = view.parts.at(0);
    EXPECT_EQ(tools::view_question(file, nullptr, seed).parts.at(0).options, p.options);
    // The variable of the option shown first.
    const tools::variant_result solved = tools::solve_variant(file, nullptr, seed, {});
    for (const tools::request_result& r : solved.results) {
      for (const std::string& o : q.parts.at(0).options) {
        if (r.request == o && r.text == p.options.front()) first_variable.insert(o);
      }
    }
  }
  EXPECT_EQ(first_variable.size(), 4u);
}

TEST(QuestionView, ValuesAreThoseSolveShows) {
  for (const char* name : {"q_area.alg", "q_circle_parts.alg", "q_choice.alg"}) {
    const tools::algorithm_file file = example(name);
    const tools::question q = tools::parse_question(file);
    for (const uint32_t seed : {1u, 5u, 123456789u, 4000000000u}) {
      std::map<std::string, std::string> shown;
      for (const tools::request_result& r : tools::solve_variant(file, nullptr, seed, {}).results) {
        shown[r.request] = r.text;
      }
      const tools::question_view view = tools::view_question(file, nullptr, seed);
      EXPECT_EQ(view.seed, seed);
      EXPECT_EQ(view.prompt, shown.at(q.prompt->variable)) << name << seed;
      for (std::size_t k = 0; k < q.parts.size(); ++k) {
        const tools::part_view& p = view.parts.at(k);
        EXPECT_EQ(p.answer, shown.at(q.parts[k].variable)) << name << seed << k;
        std::multiset<std::string> options(p.options.begin(), p.options.end());
        std::multiset<std::string> solved;
        for (const std::string& o : q.parts[k].options) solved.insert(shown.at(o));
        EXPECT_EQ(options, solved) << name << seed << k;
      }
    }
  }
}

// The examples: their right answers as shown are right, by position too
// for a choice, and a wrong answer is wrong.
TEST(QuestionExamples, RightAnswersRightWrongOnesWrong) {
  for (const char* name : {"q_area.alg", "q_circle_parts.alg", "q_choice.alg"}) {
    const tools::algorithm_file file = example(name);
    const tools::question q = tools::parse_question(file);
    for (const uint32_t seed : {2u, 77u, 31337u, 2718281828u}) {
      const tools::question_view view = tools::view_question(file, nullptr, seed);
      std::vector<std::string> right;
      std::vector<std::string> wrong;
      std::vector<std::string> by_position;
      for (const tools::part_view& p : view.parts) {
        right.push_back(tools::cp1252_to_utf8(p.answer));
        by_position.push_back(p.what == tools::question_part::kind::choice
                                  ? std::to_string(p.right_option)
                                  : right.back());
        // A numeric answer with its first figure changed keeps its figures.
        std::string changed = right.back();
        const std::size_t figure = changed.find_first_of("123456789");
        changed[figure] = changed[figure] == '9' ? '1' : static_cast<char>(changed[figure] + 1);
        wrong.push_back(p.what == tools::question_part::kind::choice
                            ? std::to_string(p.right_option % 4 + 1)
                        : p.what == tools::question_part::kind::numeric ? changed
                                                                        : "km");
      }
      for (const auto& [responses, expected] :
           {std::pair{right, "right"}, {by_position, "right"}, {wrong, "wrong"}}) {
        for (const tools::part_verdict& v : tools::grade_utf8_responses(view, q, responses)) {
          EXPECT_EQ(said(v), expected) << name << " seed " << seed;
        }
      }
    }
  }
}

struct failing_case {
  const char* name;
  std::string algorithm;
  std::vector<std::string> responses;
  const char* message;
  int line;
};

const failing_case kFailing[] = {
    {"NoQuestion",
     "r_a|1|9",
     {},
     "the algorithm declares no question: add a ?prompt line and a ?numeric, ?text or ?choice "
     "line for each part",
     0},
    {"MalformedDeclaration",
     "r_a|1|9\n?numeric|a|abs\n?numeric|a",
     {},
     "tolerance 'abs' is not one of abs X, rel X%, rel X, sig N or dec N (or empty: the value "
     "as shown)",
     2},
    {"TooManyResponses",
     "r_a|1|9\nq_b|a*2\n?numeric|a\n?numeric|b",
     {"1", "2", "3"},
     "3 responses for 2 parts",
     0},
    {"TooFewResponses", "r_a|1|9\n?numeric|a", {}, "0 responses for 1 part", 0},
    {"CreationFails",
     "r_a|1|9\nc_never|a>100\n?numeric|a",
     {},
     "condition a>100 could not be satisfied",
     2},
    {"DeclaredVariableFails",
     "r_a|1|9\nq_b|a/0\n?numeric|b",
     {},
     "b: error while evaluating '/': division by zero",
     2},
    {"DeclaredNowhere", "r_a|1|9\n?numeric|a\n?text|unit", {}, "variable 'unit' not defined", 3},
};

class GradeFailures : public testing::TestWithParam<failing_case> {};

TEST_P(GradeFailures, AnswerTheErrorDocument) {
  const failing_case& c = GetParam();
  const bool grading = std::string(c.name).find("Responses") != std::string::npos;
  const nlohmann::json doc = nlohmann::json::parse(tools::grade_json(
      text_file(c.algorithm), nullptr, 7,
      grading ? std::optional<std::vector<std::string>>(c.responses) : std::nullopt));
  ASSERT_TRUE(doc.contains("error")) << doc.dump();
  EXPECT_EQ(doc["error"]["message"].get<std::string>(), c.message);
  EXPECT_EQ(doc["error"]["line"], c.line);
}

INSTANTIATE_TEST_SUITE_P(Cases, GradeFailures, testing::ValuesIn(kFailing),
                         [](const auto& info) { return std::string(info.param.name); });

// `zekalg grade`: the question as a student sees it, a verdict line per
// part, and exit status 2 for a call that cannot run.
struct command_case {
  const char* name;
  const char* file;  // in examples/, or an algorithm text
  std::vector<std::string> responses;
  int status;
  const char* out;
  const char* err;
};

const command_case kCommands[] = {
    {"ShowsTheQuestion",
     "q_choice.alg",
     {},
     0,
     "prompt: What is the gradient of the line through \\((4, 5)\\) and \\((9, 3)\\)?\n"
     "part 1 (choice):\n  1) \u20130.40\n  2) 2.50\n  3) \u20132.50\n  4) 0.40\n"
     "  answer 1) \u20130.40\n"
     "solution: \\(m = \\frac{y_2 - y_1}{x_2 - x_1} = \\frac{-2}{5}\\), about \u20130.40.\n"
     "feedback: Rise over run: the change in y divided by the change in x.\n",
     ""},
    {"ShowsEachKind",
     "r_a|2|2\nq_x|a/3|2\nk_u|\"cm\"\n?numeric|x|sig 2\n?numeric|a\n?text|u",
     {},
     0,
     "part 1 (numeric, sig 2): answer 0.67\npart 2 (numeric, as shown): answer 2\n"
     "part 3 (text, exact): answer cm\n",
     ""},
    {"AllRight", "q_choice.alg", {"-0.40"}, 0, "part 1: right\n", ""},
    {"ByPosition", "q_choice.alg", {"2"}, 1, "part 1: wrong\n", ""},
    {"EachPartItsLine",
     "q_circle_parts.alg",
     {"4.1", "12,6", "12.57", "m^2"},
     1,
     "part 1: wrong\npart 2: right\npart 3: unreadable: give 3 significant figures\n"
     "part 4: wrong\n",
     ""},
    {"WrongCount", "q_choice.alg", {"1", "2"}, 2, "", "zekalg: 2 responses for 1 part\n"},
    {"NoQuestion",
     "discount.alg",
     {},
     2,
     "",
     "discount.alg: error: the algorithm declares no question: add a ?prompt line and a "
     "?numeric, ?text or ?choice line for each part\n"},
    {"CreationFails",
     "r_a|1|9\nc_no|a>9\n?numeric|a",
     {"1"},
     2,
     "",
     "q.alg:2: error: condition a>9 could not be satisfied\n"},
    {"NoFile", "missing.alg", {}, 2, "", "zekalg: missing.alg: cannot open the file\n"},
};

class GradeCommand : public testing::TestWithParam<command_case> {};

TEST_P(GradeCommand, PrintsAndExits) {
  const command_case& c = GetParam();
  const std::string name = c.file;
  const bool inline_text = name.find('|') != std::string::npos;
  const std::string dir = testing::TempDir();
  cli::grade_options options;
  options.seed = 5;
  options.responses = c.responses;
  if (inline_text) {
    options.file = dir + "q.alg";
    cli_test::write_file(options.file, name);
  } else {
    options.file = name == "missing.alg" ? name : kSource + "/examples/" + name;
  }
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(cli::run_grade(options, out, err), c.status);
  EXPECT_EQ(out.str(), c.out);
  std::string said_err = err.str();
  // The examples' folder first: the checkout may lie inside the temporary
  // folder.
  for (const std::string& prefix : {kSource + "/examples/", dir}) {
    for (std::size_t at; (at = said_err.find(prefix)) != std::string::npos;) {
      said_err.erase(at, prefix.size());
    }
  }
  EXPECT_EQ(said_err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Cases, GradeCommand, testing::ValuesIn(kCommands),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
