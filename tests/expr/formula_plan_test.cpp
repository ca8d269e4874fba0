// Plans against the rewriting on the turns a plan must follow exactly or
// hand back: every case is solved with plans and without, from one seed, and
// must give the same status and bytes. The random series of the
// differential test covers the common ground; these are the corners.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expr/fast_forms.h"
#include "expr/formula_plan.h"
#include "expr/translator.h"
#include "test_support.h"
#include "zekalg/zekalg.h"

namespace {

struct plan_case {
  const char* name;
  std::string algorithm;
  std::vector<std::string> requests;
  std::string base = {};  // an algorithm to build on, when given
};

// Every answer of one run: the create and each request.
std::vector<std::string> answers(const plan_case& c, bool plans) {
  set_formula_plans_enabled(plans);
  std::vector<std::string> out;
  std::vector<char> buffer(1u << 22);
  int32_t length = static_cast<int32_t>(buffer.size());
  zekalg_seed_environment(4242);
  int32_t base = 0;
  if (!c.base.empty()) {
    base = zekalg_create_environment(0, c.base.c_str(), buffer.data(), &length);
    length = static_cast<int32_t>(buffer.size());
  }
  const int32_t id = zekalg_create_environment(base, c.algorithm.c_str(), buffer.data(), &length);
  out.push_back(std::to_string(id > 0 ? 1 : id) + (id < 0 ? std::string(buffer.data()) : ""));
  if (id > 0) {
    for (const std::string& request : c.requests) {
      length = static_cast<int32_t>(buffer.size());
      const int32_t status = zekalg_solve_var(id, request.c_str(), buffer.data(), &length);
      out.push_back(std::to_string(status) + " " + std::to_string(length) + " " + buffer.data());
    }
    zekalg_kill_environment(id);
  }
  if (base > 0) zekalg_kill_environment(base);
  set_formula_plans_enabled(true);
  return out;
}

// Formulas q_<name>1 to q_<name>N, each the next one, the last `last`:
// every link nests the evaluation one level deeper.
std::string chain(const std::string& name, int links, const std::string& last) {
  std::string text;
  for (int i = 1; i < links; ++i) {
    text += "q_" + name + std::to_string(i) + "|" + name + std::to_string(i + 1) + "\n";
  }
  return text + "q_" + name + std::to_string(links) + "|" + last + "\n";
}

// "t<last>&t<last-1>&...&t0": every text of a doubling, joined.
std::string joined_doublings(int last) {
  std::string text = "t" + std::to_string(last);
  for (int i = last - 1; i >= 0; --i) text += "&t" + std::to_string(i);
  return text;
}

class PlanCorners : public testing::TestWithParam<plan_case> {};

TEST_P(PlanCorners, AnswerAsTheRewritingDoes) {
  EXPECT_EQ(answers(GetParam(), true), answers(GetParam(), false));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanCorners,
    testing::Values(
        plan_case{"ReadBackOfReals",
                  "k_a|0.1\nk_b|3\n",
                  {"a*3", "1/3", "2/3*3", "-1/7", "123456789.5*1", "-12345678.25", "1e9+0.5",
                   "-99999999.5*1", "2^31", "0-2^31", "1e300*10", "-1e-300", "0/0+0"}},
        plan_case{"FormulasOfLiteralsOnly",
                  "r_a|1|100\n",
                  {"3+4*2^2", "str(1/3, 4) & \"x\"", "1/0", "rand(1, 100) * 2 + a",
                   "rand(1, 100) + rand(1, 100)", "sqrt(-1)", "a"}},
        plan_case{"SignsAndTextsAroundGroups",
                  "k_t|\"x\"\nk_n|-4\n",
                  {"-(n)", "-(-(n))", "-(t)", "+(2)*3", "-(1/3)", "(n)(n)", "2(n)"}},
        plan_case{"OperatorsWithoutAnOperand",
                  "k_a|3\n",
                  {"a!", "a!!", "not a", "not not a", "3!+not 0", "(3!)!", "~add~1", "2+", ""}},
        plan_case{"UserFunctions",
                  "f_sq|x*x|x\nf_s|if(x<0,\"-\",\"+\") & str(abs(x),1)|x\n"
                  "f_f|if(k<=1,1,k*f(k-1))|k\nf_loop|loop(x)|x\nf_odd|x)+(x|x\n",
                  {"sq(3)+sq(1/3)", "s(-2.5) & s(1/3)", "f(10)", "loop(1)", "odd(2)", "sq()",
                   "sq(1,2)", "nofunction(1)"}},
        plan_case{
            "FunctionParametersAsText",
            "f_q|\"x\" & str(x, 1) & \"-x_\" & str(-x, 1)|x\nf_g|a & b|a|b\nf_h|A_1 + a_1 * 2|a_1\n"
            "f_c|x(1)|x\nf_e|e + E|e\nf_inf|inf * 2|inf\nf_w|x & y|x||y\n"
            "f_r|if(n < 1, 0, n + r(n - 1))|n\nf_big|s & s|s\nq_long|\"ab\" & \"cd\"\n",
            {"q(3) & q(-2.5)", "q(\"t\")", "g(\"b\", \"c\")", "g(\"c\", \"a\") & g(\"B\", \"A\")",
             "h(4)", "c(2)", "e(1e20) + e(-2)", "inf(1/0)", "w(1, 2, 3)", "w(1, 2)", "r(12)",
             "r(200)",
             "big(big(big(big(big(big(big(big(big(big(big(big(big(big(big(big(big(big(long)))))))))"
             ")))))))))"}},
        plan_case{"FunctionsOfTheBase",
                  "r_x|1|9\nc_c|sq(x) > 2\nq_y|sg(-x) & str(sq(x/3), 3)\n",
                  {"y", "sq(5) + sq(1/3)", "sg(2) & sg(-0.5)", "t(\"a\")",
                   "t(\"a long text of more than sixty-four bytes, so that it is swept\")", "n(1)",
                   "sq()", "loop(1)"},
                  "f_sq|x*x|x\nf_sg|if(v<0, \"-\", \"+\") & str(abs(v),2)|v\nf_t|s|s\n"
                  "f_n|nothing+1|z\nf_loop|loop(x)|x\nk_g|9.81\n"},
        // A call kept from the first request, made again one level short
        // of the nesting limit and where its conditionals would pass it.
        plan_case{"KeptCallsAtTheNestingLimit",
                  "f_p|if(x>0, \"+\", \"-\") & str(x, 0)|x\nf_w|p(x) & p(-x)|x\nq_first|w(1)\n" +
                      chain("u", 18, "w(1)") + chain("v", 19, "w(1)"),
                  {"first", "u1", "v1", "w(1) & w(2) & w(1)"}},
        // o(1) is kept while the h(1) inside it is replayed from w(1): the
        // depth the replay reaches counts for o(1), which then nests one
        // level too deep at the end of the chain.
        plan_case{"KeptCallsAroundReplayedOnes",
                  "f_h|if(x>0,1,2)|x\nf_w|h(x)|x\nf_o|h(x)+1|x\nq_pre|w(1)+o(1)\n" +
                      chain("v", 19, "o(1)"),
                  {"pre", "v1"}},
        plan_case{"Conditionals",
                  "r_a|1|9\nr_b|1|9\n",
                  {"if(a>b, a-b, b-a)", "choose(a mod 3 + 1, \"x\", \"y\", \"z\") & str(b,0)",
                   "if(a>4, if(b>4, 1, 2), 3)*10", "if(1,2)", "choose(0,1,2)"}},
        plan_case{"ConditionalsAndChoicesTogether",
                  "r_a|1|4\nr_b|0|1\nr_t_x|1|3\n",
                  {"choose(if(b, a, 1), \"w\", \"x\", \"y\", \"z\") & if(b, \"1\", \"0\")",
                   "choose(a, if(b, 1, 2), if(b, 3, 4), 5, 6) + t_x",
                   "-if(b, a, -a) * choose(2, 1, if(a > 2, 10, 20))",
                   "if(choose(a, 0, 1, 0, 1), sqrt(a), a ^ 2) / 3", "if(a, 1)", "if(a, 1, 2, 3)",
                   "choose(a + 9, 1, 2)", "choose(1)", "if(\"x\", 1, 2)"}},
        plan_case{"BrokenTexts",
                  "k_a|1\n",
                  {"(a", "a)", "((a)", "a+(", "\"unclosed", "a~b", "1,2", "max((1,2),3)"}},
        plan_case{"LimitsOfTextAndWork", doubling(24, "\"a b\""), {"t19", "t20", "t24"}},
        // Recursion without end through bodies of several kilobytes, to the
        // work limit: plans follow the first levels, then hand the text back
        // (past the levels they follow; at once for a body too long to have
        // a plan). The error names the function only when the limit falls
        // on its text being written, so the work of each level must count
        // where the rewriting counts it.
        plan_case{"RecursionToTheWorkLimit",
                  "f_s|s(x)" + repeated("+1", 600) + "|x\nf_t|t(x)" + repeated("+1", 1200) + "|x\n",
                  {"s(1)", "t(1)"}},
        // A text whose literal is 2 bytes short of the limit, joined to
        // short ones: the joined literal's length decides.
        plan_case{"JoinedTextsAtTheLengthLimit",
                  doubling(17, "\"a \"") + "q_big|" + joined_doublings(17) + "\n",
                  {"len(big)", "len(big & \"x\")", "len(big & \"xy\")", "len(big & \"xyz\")",
                   "len(big & \" \")", "len(\"\" & big & \"xy\")", "len(\"x\" & (big & \"x\"))"}},
        plan_case{"DeepNesting",
                  "k_a|1\n",
                  {repeated("(", 500) + "a" + repeated(")", 500),
                   repeated("abs(", 300) + "-a" + repeated(")", 300)}},
        plan_case{
            "LongGroups",
            "k_a|2\n",
            {"1" + repeated("+a", 300), "\"\"" + repeated("&a", 200), "1" + repeated("+1/3", 50)}}),
    [](const testing::TestParamInfo<plan_case>& info) { return std::string(info.param.name); });

// The fast path is taken for what formulas are made of, and refused for
// texts it cannot follow from their start.
TEST(FormulaPlan, CompilesOrdinaryFormulasOnly) {
  const struct {
    const char* formula;
    bool planned;
  } rows[] = {
      {"a+b*c", true},
      {"sqrt(a^2+b^2)", true},
      {"\"x = \" & str(a, 2) & signed(b)", true},
      {"-(a+b)", true},
      {"if(a>b, a, b)", true},
      {"choose(2, a, b) & if(a, \"x\", choose(b, 1, 2))", true},
  };
  for (const auto& row : rows) {
    alg_string text(row.formula);
    translate_formula(text);
    EXPECT_EQ(formula_plan::compile(text) != nullptr, row.planned) << row.formula;
  }
  EXPECT_EQ(formula_plan::compile(alg_string("(a)~add~(b)")), nullptr);
  EXPECT_EQ(formula_plan::compile(alg_string("(a~add~b")), nullptr);
  EXPECT_EQ(formula_plan::compile(alg_string("(a~bad~b)")), nullptr);
  // A name that only ends like a conditional keeps the rest of it in front.
  EXPECT_EQ(formula_plan::compile(alg_string("(2zek_if(1,2,3))")), nullptr);
}

// The reference switch turns every fast form off, the one-pass readers as
// well as plans; switching plans alone leaves the readers on. A sum too
// long to have a plan shows which are on: the sweep counts its length once,
// while rewriting it step by step copies the text at every operator and
// runs past the work limit.
TEST(ReferenceEvaluator, TurnsEveryFastFormOff) {
  std::string sum = "1";
  for (int i = 1; i < 20000; ++i) sum += "+1";
  const auto solve = [&](fast_forms forms) {
    set_process_fast_forms(forms);
    EXPECT_EQ(process_fast_forms(), forms);
    std::vector<char> buffer(4096);
    int32_t length = static_cast<int32_t>(buffer.size());
    const int32_t id = zekalg_create_environment(0, "k_one|1", buffer.data(), &length);
    EXPECT_GT(id, 0);
    length = static_cast<int32_t>(buffer.size());
    const int32_t status = zekalg_solve_var(id, sum.c_str(), buffer.data(), &length);
    zekalg_kill_environment(id);
    set_process_fast_forms(fast_forms{});
    return std::to_string(status) + " " + std::string(buffer.data());
  };
  const std::string limit =
      "-1 work limit reached: more than 64 MiB of formula text rewritten in one call";
  EXPECT_EQ(solve(fast_forms{}), "0 20000");
  EXPECT_EQ(solve({false, true, true, true}), "0 20000");
  EXPECT_EQ(solve(fast_forms::none()), limit);
  set_formula_plans_enabled(false);
  EXPECT_EQ(process_fast_forms(), (fast_forms{false, true, true, true}));
  set_formula_plans_enabled(true);
  EXPECT_EQ(process_fast_forms(), fast_forms{});
}

}  // namespace
