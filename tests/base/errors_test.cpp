#include "base/errors.h"

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <typeindex>
#include <typeinfo>

#include "test_support.h"

namespace {

// ------------------------------------------------------------ class tree

template <typename Base, typename Derived>
constexpr bool derives = std::is_base_of_v<Base, Derived>;

static_assert(derives<std::exception, z_x_exception>);
static_assert(derives<z_x_exception, z_x_string>);
static_assert(derives<z_x_string, z_x_outofstringspace>);
static_assert(derives<z_x_string, z_x_illegal_index>);
static_assert(derives<z_x_exception, z_x_outofmemory>);
static_assert(derives<z_x_exception, z_x_array>);
static_assert(derives<z_x_array, z_x_outofbounds>);
static_assert(derives<z_x_array, z_x_arraynotsized>);
static_assert(derives<z_x_exception, z_x_hasherror>);
static_assert(derives<z_x_hasherror, z_x_nodeerror>);
static_assert(derives<z_x_exception, z_x_algorithm>);
static_assert(derives<z_x_algorithm, z_x_dividebyzero>);
static_assert(derives<z_x_algorithm, z_x_factorial_too_high>);
static_assert(derives<z_x_algorithm, z_x_wrongtype>);
static_assert(derives<z_x_wrongtype, z_x_positive_required>);
static_assert(derives<z_x_wrongtype, z_x_integer_required>);
static_assert(derives<z_x_wrongtype, z_x_number_required>);
static_assert(derives<z_x_wrongtype, z_x_string_required>);
static_assert(derives<z_x_wrongtype, z_x_match_required>);
static_assert(derives<z_x_algorithm, z_x_outofrange>);
static_assert(derives<z_x_algorithm, z_x_toomanyparameters>);
static_assert(derives<z_x_algorithm, z_x_toofewparameters>);
static_assert(derives<z_x_algorithm, z_x_stack_overflow>);
static_assert(derives<z_x_algorithm, z_x_baddefinition>);
static_assert(derives<z_x_algorithm, z_x_missing_operand>);
static_assert(derives<z_x_algorithm, z_x_func_notdefined>);
static_assert(derives<z_x_algorithm, z_x_var_notdefined>);
static_assert(derives<z_x_algorithm, z_x_endlessloop>);
static_assert(derives<z_x_algorithm, z_x_condition_not_satisfied>);

// Branches that must stay apart.
static_assert(!derives<z_x_wrongtype, z_x_toomanyparameters>);
static_assert(!derives<z_x_wrongtype, z_x_toofewparameters>);
static_assert(!derives<z_x_wrongtype, z_x_dividebyzero>);
static_assert(!derives<z_x_wrongtype, z_x_outofrange>);
static_assert(!derives<z_x_wrongtype, z_x_factorial_too_high>);
static_assert(!derives<z_x_algorithm, z_x_outofbounds>);
static_assert(!derives<z_x_algorithm, z_x_arraynotsized>);
static_assert(!derives<z_x_algorithm, z_x_outofmemory>);
static_assert(!derives<z_x_algorithm, z_x_outofstringspace>);
static_assert(!derives<z_x_array, z_x_outofmemory>);
static_assert(!derives<z_x_outofbounds, z_x_arraynotsized>);
static_assert(!derives<z_x_arraynotsized, z_x_outofbounds>);

// The classes without text add nothing to the standard exception.
static_assert(sizeof(z_x_outofbounds) == sizeof(std::exception));
static_assert(sizeof(z_x_outofmemory) == sizeof(std::exception));
static_assert(sizeof(z_x_nodeerror) == sizeof(std::exception));

// ------------------------------------------------------ message forms

// Builds the error with text X and throws it.
using thrower = void (*)(const alg_string& x);

struct message_case {
  const char* name;
  thrower make;
  std::type_index type;
  std::string long_form;   // with X = "N"
  std::string short_form;  // with X empty
};

template <typename E>
constexpr thrower throws = [](const alg_string& x) { throw E(x); };

const message_case kMessages[] = {
    {"DivideByZero", throws<z_x_dividebyzero>, typeid(z_x_dividebyzero),
     "error while evaluating 'N': division by zero", "division by zero"},
    {"WrongType", throws<z_x_wrongtype>, typeid(z_x_wrongtype),
     "error while evaluating 'N': wrong type", "wrong type"},
    {"PositiveRequired", throws<z_x_positive_required>, typeid(z_x_positive_required),
     "error while evaluating 'N': positive number required", "positive number required"},
    {"IntegerRequired", throws<z_x_integer_required>, typeid(z_x_integer_required),
     "error while evaluating 'N': integer required", "integer required"},
    {"NumberRequired", throws<z_x_number_required>, typeid(z_x_number_required),
     "error while evaluating 'N': number required", "number required"},
    {"StringRequired", throws<z_x_string_required>, typeid(z_x_string_required),
     "error while evaluating 'N': string required", "string required"},
    {"MatchRequired", throws<z_x_match_required>, typeid(z_x_match_required),
     "error while evaluating 'N': argument types must match", "argument types must match"},
    {"OutOfRange", throws<z_x_outofrange>, typeid(z_x_outofrange),
     "error while evaluating 'N': index of out range", "index of out range"},
    {"TooManyParameters", throws<z_x_toomanyparameters>, typeid(z_x_toomanyparameters),
     "error while calling 'N': too many parameters", "too many parameters"},
    {"TooFewParameters", throws<z_x_toofewparameters>, typeid(z_x_toofewparameters),
     "error while calling 'N': too few parameters", "too few parameters"},
    {"StackOverflow", throws<z_x_stack_overflow>, typeid(z_x_stack_overflow),
     "error in 'N': stack overflow", "stack overflow"},
    {"BadDefinition", throws<z_x_baddefinition>, typeid(z_x_baddefinition),
     "invalid definition for N", "invalid definition"},
    {"MissingOperand", throws<z_x_missing_operand>, typeid(z_x_missing_operand),
     "error while evaluating 'N': illegal/missing operand", "missing/illegal operand"},
    {"FuncNotDefined", throws<z_x_func_notdefined>, typeid(z_x_func_notdefined),
     "function 'N' not defined", "function not defined"},
    {"VarNotDefined", throws<z_x_var_notdefined>, typeid(z_x_var_notdefined),
     "variable 'N' not defined", "variable not defined"},
    {"EndlessLoop", throws<z_x_endlessloop>, typeid(z_x_endlessloop),
     "endless loop: 'N' refers to itself", "endless loop"},
    {"ConditionNotSatisfied", throws<z_x_condition_not_satisfied>,
     typeid(z_x_condition_not_satisfied), "condition N could not be satisfied",
     "condition could not be satisfied"},
};

struct caught {
  std::type_index type = typeid(void);
  std::string message;
  std::string context;
};

caught catch_algorithm(const std::function<void()>& body) {
  caught c;
  try {
    body();
  } catch (const z_x_algorithm& e) {
    c.type = typeid(e);
    c.message = B(e.message);
    c.context = B(e.context);
  }
  return c;
}

class ErrorMessages : public testing::TestWithParam<message_case> {};

TEST_P(ErrorMessages, LongForm) {
  const message_case& m = GetParam();
  const caught c = catch_algorithm([&] { m.make(alg_string("N")); });
  EXPECT_EQ(c.type, m.type);
  EXPECT_EQ(c.message, m.long_form);
  EXPECT_EQ(c.context, "");
}

TEST_P(ErrorMessages, ShortForm) {
  const message_case& m = GetParam();
  const caught c = catch_algorithm([&] { m.make(alg_string()); });
  EXPECT_EQ(c.type, m.type);
  EXPECT_EQ(c.message, m.short_form);
  EXPECT_EQ(c.context, "");
}

INSTANTIATE_TEST_SUITE_P(Classes, ErrorMessages, testing::ValuesIn(kMessages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Errors, DefaultConstructedIsShortForm) {
  EXPECT_EQ(B(z_x_dividebyzero().message), "division by zero");
  EXPECT_EQ(B(z_x_missing_operand().message), "missing/illegal operand");
  EXPECT_TRUE(z_x_dividebyzero().context.empty());
}

TEST(Errors, FactorialTooHigh) {
  const z_x_factorial_too_high e;
  EXPECT_EQ(B(e.message), "factorial operand exceeds 170");
  EXPECT_TRUE(e.context.empty());
  const caught c = catch_algorithm([] { throw z_x_factorial_too_high(); });
  EXPECT_EQ(c.type, std::type_index(typeid(z_x_factorial_too_high)));
  EXPECT_EQ(c.message, "factorial operand exceeds 170");
}

TEST(Errors, AlgorithmCarriesMessageAndContext) {
  const z_x_algorithm empty;
  EXPECT_TRUE(empty.message.empty());
  EXPECT_TRUE(empty.context.empty());

  const z_x_algorithm e(alg_string("m"), alg_string("c"));
  EXPECT_EQ(B(e.message), "m");
  EXPECT_EQ(B(e.context), "c");
  z_x_algorithm copy = e;
  EXPECT_EQ(B(copy.message), "m");
  EXPECT_EQ(B(copy.context), "c");
  copy.message = alg_string("changed");
  EXPECT_EQ(B(e.message), "m");
}

struct shown_case {
  const char* name;
  thrower make;
  std::string x;
  std::string message;
};

// In the long form X is shown with its operator tokens turned back.
const shown_case kShown[] = {
    {"Divide", throws<z_x_dividebyzero>, "~div~", "error while evaluating '/': division by zero"},
    {"IntegerDivide", throws<z_x_dividebyzero>, "~idv~",
     "error while evaluating '\\': division by zero"},
    {"Mod", throws<z_x_dividebyzero>, "~mod~", "error while evaluating 'mod': division by zero"},
    {"Factorial", throws<z_x_positive_required>, "~fac~",
     "error while evaluating '!': positive number required"},
    {"Condition", throws<z_x_condition_not_satisfied>, "a~neq~b",
     "condition a<>b could not be satisfied"},
    {"Definition", throws<z_x_baddefinition>, "q_x|1~add~", "invalid definition for q_x|1+"},
    {"Operand", throws<z_x_missing_operand>, "~mul~",
     "error while evaluating '*': illegal/missing operand"},
    {"StackOverflow", throws<z_x_stack_overflow>, "(1~add~(2~exp~3))",
     "error in '(1+(2^3))': stack overflow"},
    {"NoTokenStays", throws<z_x_var_notdefined>, "a~b", "variable 'a~b' not defined"},
};

class ErrorShownForm : public testing::TestWithParam<shown_case> {};

TEST_P(ErrorShownForm, ShowsOperators) {
  const shown_case& s = GetParam();
  const caught c = catch_algorithm([&] { s.make(S(s.x)); });
  EXPECT_EQ(c.message, s.message);
}

INSTANTIATE_TEST_SUITE_P(Cases, ErrorShownForm, testing::ValuesIn(kShown),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Errors, TextlessClassesCatchAsGroups) {
  EXPECT_THROW(throw z_x_outofbounds(), z_x_array);
  EXPECT_THROW(throw z_x_arraynotsized(), z_x_array);
  EXPECT_THROW(throw z_x_outofstringspace(), z_x_string);
  EXPECT_THROW(throw z_x_illegal_index(), z_x_string);
  EXPECT_THROW(throw z_x_nodeerror(), z_x_hasherror);
  EXPECT_THROW(throw z_x_outofmemory(), z_x_exception);
  EXPECT_THROW(throw z_x_dividebyzero(), z_x_exception);
  EXPECT_THROW(throw z_x_integer_required(), std::exception);
}

// ----------------------------------------------------- context handlers

TEST(ContextHandler, LabelsAndFlattensAlgorithmErrors) {
  const caught c = catch_algorithm([] {
    with_context(alg_string("x"), []() -> int { throw z_x_dividebyzero(alg_string("~div~")); });
  });
  EXPECT_EQ(c.type, std::type_index(typeid(z_x_algorithm)));
  EXPECT_EQ(c.message, "x: error while evaluating '/': division by zero");
  EXPECT_EQ(c.context, "x");
}

TEST(ContextHandler, OuterHandlerLeavesItAlone) {
  const caught c = catch_algorithm([] {
    with_context(alg_string("x"), [] {
      with_context(alg_string("f"), [] { throw z_x_dividebyzero(alg_string("~div~")); });
    });
  });
  EXPECT_EQ(c.type, std::type_index(typeid(z_x_algorithm)));
  EXPECT_EQ(c.message, "f: error while evaluating '/': division by zero");
  EXPECT_EQ(c.context, "f");
}

TEST(ContextHandler, ErrorWithContextPassesUnchanged) {
  const caught c = catch_algorithm([] {
    with_context(alg_string("x"),
                 [] { throw z_x_algorithm(alg_string("g: boom"), alg_string("g")); });
  });
  EXPECT_EQ(c.message, "g: boom");
  EXPECT_EQ(c.context, "g");
}

TEST(ContextHandler, FactorialKeepsItsTextBehindThePrefix) {
  const caught c = catch_algorithm(
      [] { with_context(alg_string("x"), [] { throw z_x_factorial_too_high(); }); });
  EXPECT_EQ(c.type, std::type_index(typeid(z_x_algorithm)));
  EXPECT_EQ(c.message, "x: factorial operand exceeds 170");
}

TEST(ContextHandler, ShortFormGetsPrefixToo) {
  const caught c =
      catch_algorithm([] { with_context(alg_string("v"), [] { throw z_x_integer_required(); }); });
  EXPECT_EQ(c.type, std::type_index(typeid(z_x_algorithm)));
  EXPECT_EQ(c.message, "v: integer required");
  EXPECT_EQ(c.context, "v");
}

struct unexpected_case {
  const char* name;
  void (*fail)();
};

const unexpected_case kUnexpected[] = {
    {"OutOfBounds", [] { throw z_x_outofbounds(); }},
    {"ArrayNotSized", [] { throw z_x_arraynotsized(); }},
    {"OutOfMemory", [] { throw z_x_outofmemory(); }},
    {"OutOfStringSpace", [] { throw z_x_outofstringspace(); }},
    {"IllegalIndex", [] { throw z_x_illegal_index(); }},
    {"NodeError", [] { throw z_x_nodeerror(); }},
    {"StandardException", [] { throw std::runtime_error("r"); }},
    {"NotAnException", [] { throw 42; }},
};

class ContextHandlerUnexpected : public testing::TestWithParam<unexpected_case> {};

TEST_P(ContextHandlerUnexpected, BecomesUnexpectedError) {
  void (*fail)() = GetParam().fail;
  const caught c = catch_algorithm([fail] { with_context(alg_string("x"), [fail] { fail(); }); });
  EXPECT_EQ(c.type, std::type_index(typeid(z_x_algorithm)));
  EXPECT_EQ(c.message, "x: unexpected error occurred");
  EXPECT_EQ(c.context, "x");
}

INSTANTIATE_TEST_SUITE_P(Cases, ContextHandlerUnexpected, testing::ValuesIn(kUnexpected),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ContextHandler, UnexpectedErrorIsLabelledOnceOnly) {
  const caught c = catch_algorithm([] {
    with_context(alg_string("x"),
                 [] { with_context(alg_string("f"), [] { throw z_x_outofbounds(); }); });
  });
  EXPECT_EQ(c.message, "f: unexpected error occurred");
  EXPECT_EQ(c.context, "f");
}

TEST(ContextHandler, ReturnsTheBodysValue) {
  EXPECT_EQ(with_context(alg_string("x"), [] { return 42; }), 42);
  EXPECT_EQ(B(with_context(alg_string("x"), [] { return alg_string("ok"); })), "ok");
  bool ran = false;
  with_context(alg_string("x"), [&] { ran = true; });
  EXPECT_TRUE(ran);
}

// A user-function style handler: rethrow_with_context with keep_count_errors.
template <typename Body>
void user_call(const char* name, bool keep, Body body) {
  try {
    body();
  } catch (...) {
    rethrow_with_context(alg_string(name), keep);
  }
}

TEST(ContextHandler, CountErrorsFlattenedWithoutKeep) {
  const caught many = catch_algorithm(
      [] { with_context(alg_string("x"), [] { throw z_x_toomanyparameters(alg_string("f")); }); });
  EXPECT_EQ(many.type, std::type_index(typeid(z_x_algorithm)));
  EXPECT_EQ(many.message, "x: error while calling 'f': too many parameters");
  const caught few = catch_algorithm(
      [] { user_call("x", false, [] { throw z_x_toofewparameters(alg_string("f")); }); });
  EXPECT_EQ(few.type, std::type_index(typeid(z_x_algorithm)));
  EXPECT_EQ(few.message, "x: error while calling 'f': too few parameters");
}

TEST(ContextHandler, KeepCountErrorsKeepsTheirClass) {
  const caught many = catch_algorithm(
      [] { user_call("g", true, [] { throw z_x_toomanyparameters(alg_string("f")); }); });
  EXPECT_EQ(many.type, std::type_index(typeid(z_x_toomanyparameters)));
  EXPECT_EQ(many.message, "g: error while calling 'f': too many parameters");
  EXPECT_EQ(many.context, "g");

  const caught few =
      catch_algorithm([] { user_call("g", true, [] { throw z_x_toofewparameters(); }); });
  EXPECT_EQ(few.type, std::type_index(typeid(z_x_toofewparameters)));
  EXPECT_EQ(few.message, "g: too few parameters");
  EXPECT_EQ(few.context, "g");
}

TEST(ContextHandler, KeepCountErrorsWithContextUnchanged) {
  const caught c = catch_algorithm([] {
    user_call("outer", true, [] {
      user_call("inner", true, [] { throw z_x_toofewparameters(alg_string("f")); });
    });
  });
  EXPECT_EQ(c.type, std::type_index(typeid(z_x_toofewparameters)));
  EXPECT_EQ(c.message, "inner: error while calling 'f': too few parameters");
  EXPECT_EQ(c.context, "inner");
}

TEST(ContextHandler, KeepCountErrorsStillFlattensOthers) {
  const caught c = catch_algorithm(
      [] { user_call("g", true, [] { throw z_x_dividebyzero(alg_string("~div~")); }); });
  EXPECT_EQ(c.type, std::type_index(typeid(z_x_algorithm)));
  EXPECT_EQ(c.message, "g: error while evaluating '/': division by zero");
  const caught u = catch_algorithm([] { user_call("g", true, [] { throw z_x_outofbounds(); }); });
  EXPECT_EQ(u.type, std::type_index(typeid(z_x_algorithm)));
  EXPECT_EQ(u.message, "g: unexpected error occurred");
}

}  // namespace
