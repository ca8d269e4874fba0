// Formulas end to end: operators, precedence, conditionals and choices, and
// the errors they raise, through the public C functions.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

struct formula_case {
  const char* name;
  const char* algorithm;
  const char* request;
  engine_answer expected;
};

const std::string D = kDash;

const formula_case kFormulas[] = {
    {"PrecedenceExample", "k_x|3", "3 + 4*2^2 mod 5", ok("4")},
    {"PrecedenceWithVariable", "k_x|3", "3 + 4*2^x mod 5", ok("5")},
    {"SignBindsLooserThanPower", "", "-2^2", ok(D + "4")},
    {"NegativeExponent", "", "2^-2", ok("0.250000")},
    {"PowersAreLeftAssociative", "", "2^3^2", ok("64")},
    {"NotEqualIsFactorialThenEqual", "k_x|3", "x != 1", ok("0")},
    {"MinusMinus", "", "1--2", ok("3")},
    {"SumReadsBackAsInteger", "", "1 + 2 * 3", ok("7")},
    {"SubtractionIsLeftAssociative", "", "8 - 3 - 2", ok("3")},
    {"Division", "", "7/2", ok("3.500000")},
    {"IntegerDivision", "", "7 \\ 2", ok("3")},
    {"IntegerDivisionTruncatesReal", "", "7.9 \\ 2", ok("3")},
    {"IntegerDivisionTowardZero", "", "-7 \\ 2", ok(D + "3")},
    {"IntegerDivisionOfMostNegativeWraps", "", "(-2147483647 - 1) \\ -1",
     ok(D + "2147483648.000000")},
    {"ModKeepsSignOfDividend", "", "-7 mod 3", ok(D + "1")},
    {"ModByNegative", "", "7 mod -3", ok("1")},
    {"Rem", "", "-7 rem 3", ok(D + "1")},
    {"DivisionByFraction", "", "5 / 0.4", ok("12.500000")},
    {"FactorialOfZero", "", "0!", ok("1")},
    {"FactorialOfFive", "", "5!", ok("120")},
    {"NotZero", "", "not 0", ok("1")},
    {"NotHalfIsNotZero", "", "not 0.5", ok("1")},
    {"NotNegative", "", "not -3", ok("0")},
    {"And", "", "2 and 3", ok("1")},
    {"Eqv", "", "2 eqv 3", ok("1")},
    {"XorComparesIntegers", "", "2 xor 3", ok("1")},
    {"Imp", "", "0 imp 0", ok("1")},
    {"OrWordInAnyCase", "", "0 OR 1", ok("1")},
    {"Concatenation", "", "\"ab\" & \"cd\"", ok("abcd")},
    {"TextLessThan", "", "\"ab\" < \"b\"", ok("1")},
    {"IntegerEqualsReal", "", "2 = 2.0", ok("1")},
    {"TextOnLeftComparesAsText", "", "\"10\" < \"9\"", ok("1")},
    {"IfExample", "k_x|3", "if(x > 1, 10, 20)", ok("10")},
    {"IfHalfIsFalse", "", "if(0.5, 1, 2)", ok("2")},
    {"IfUpperCase", "", "IF(1, 2, 3)", ok("2")},
    {"ChooseSkipsUnchosen", "", "choose(2, 1/0, 5)", ok("5")},
    {"NestedConditionals", "", "if(1, choose(3, 7, 8, 9), 0)", ok("9")},
    {"TextLiteralWithSpaces", "", "\"a b\" & \"!\"", ok("a b!")},
};

const formula_case kFailures[] = {
    {"DivisionByZero", "", "5/0", failed("error while evaluating '/': division by zero")},
    {"IntegerDivisionByTruncatedZero", "", "5 \\ 0.4",
     failed("error while evaluating '\\': division by zero")},
    {"ModByTruncatedZero", "", "5 mod 0.4",
     failed("error while evaluating 'mod': division by zero")},
    {"RemByTruncatedZero", "", "5 rem 0.4",
     failed("error while evaluating 'rem': division by zero")},
    {"FactorialTooHigh", "", "171!", failed("factorial operand exceeds 170")},
    {"FactorialOfNegative", "", "(-1)!",
     failed("error while evaluating '!': positive number required")},
    {"FactorialOfReal", "", "2.5!", failed("error while evaluating '!': integer required")},
    {"ConcatenateNumber", "", "\"ab\" & 1", failed("error while evaluating '&': string required")},
    {"CompareTextWithNumber", "", "\"ab\" < 1",
     failed("error while evaluating '<': argument types must match")},
    {"AddText", "", "1 + \"a\"", failed("error while evaluating '+': number required")},
    {"IfWithoutArguments", "", "if()", failed("error while calling 'if': too few parameters")},
    {"IfWithTwo", "", "if(1, 2)", failed("error while calling 'if': too few parameters")},
    {"IfWithFour", "", "if(1, 2, 3, 4)", failed("error while calling 'if': too many parameters")},
    {"IfOnText", "", "if(\"a\", 1, 2)", failed("error while evaluating 'if': number required")},
    {"ChooseZero", "", "choose(0, 1)",
     failed("error while evaluating 'choose': index of out range")},
    {"ChoosePastEnd", "", "choose(3, 1, 2)",
     failed("error while evaluating 'choose': index of out range")},
    {"ConditionalResolvedBeforeChoice", "", "choose(2, if(1/0, 1, 2), 5)",
     failed("error while evaluating '/': division by zero")},
    {"MissingLeftOperand", "", "*3", failed("error while evaluating '*': illegal/missing operand")},
    {"EmptyGroup", "", "()", failed("missing/illegal operand")},
    {"EmptyRequest", "", "", failed("missing/illegal operand")},
    {"UnclosedParenthesis", "", "(1+2",
     failed("error while evaluating '(3': illegal/missing operand")},
    {"UnclosedConditional", "", "if(1, 2, (3",
     failed("error while evaluating 'if': illegal/missing operand")},
    {"ExtraClosingParenthesis", "", "1+2)", failed("invalid definition")},
    {"UndefinedName", "", "zz", failed("variable 'zz' not defined")},
    {"SignBeforeText", "k_s|\"t\"", "-s", failed("error while evaluating '-': number required")},
};

class Formula : public testing::TestWithParam<formula_case> {};

TEST_P(Formula, GivesExpectedAnswer) {
  const formula_case& c = GetParam();
  EXPECT_EQ(solve_once(c.algorithm, c.request), c.expected) << c.request;
}

auto case_name = [](const auto& info) { return std::string(info.param.name); };

INSTANTIATE_TEST_SUITE_P(Results, Formula, testing::ValuesIn(kFormulas), case_name);
INSTANTIATE_TEST_SUITE_P(Errors, Formula, testing::ValuesIn(kFailures), case_name);

TEST(Evaluator, FactorialOf170IsAcceptedAsAHugeReal) {
  const engine_answer a = solve_once("", "170!");
  ASSERT_EQ(a.status, 0);
  EXPECT_EQ(a.text.substr(0, 6), "7.2574");
  EXPECT_EQ(a.text.substr(a.text.size() - 4), "e306");
}

TEST(Evaluator, NonFiniteValuesTravelThroughFormulas) {
  EXPECT_EQ(solve_once("", "if(2^2000 > 5, 1, 0)"), ok("1"));
  EXPECT_EQ(solve_once("", "-(2^2000) < 0"), ok("1"));
}

// A chain of formula variables, each defined ahead of the one it uses, so
// that resolving the first nests one rewrite per link.
std::string chain(int links) {
  std::string algorithm;
  for (int i = 0; i + 1 < links; ++i) {
    algorithm += "q_a" + std::to_string(i) + "|a" + std::to_string(i + 1) + "+1\n";
  }
  return algorithm + "q_a" + std::to_string(links - 1) + "|1\n";
}

TEST(Evaluator, NestingLimitOnceSolving) {
  EXPECT_EQ(solve_once(chain(19), "a0"), ok("19"));
  EXPECT_EQ(solve_once(chain(20), "a0"), failed("a19: error in '(1)': stack overflow"));
}

TEST(Evaluator, NestingLimitWhileBuilding) {
  EXPECT_EQ(solve_once(chain(99) + "c_ok|a0 > 0", "a0"), ok("99"));
  EXPECT_EQ(solve_once(chain(100) + "c_ok|a0 > 0", "a0"),
            not_created("a99: error in '(1)': stack overflow"));
}

}  // namespace
