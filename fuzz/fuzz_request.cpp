// Requests from the input (up to eight, separated by NUL bytes), solved in
// one environment of a fixed algorithm that uses every kind of line:
// constants, random and list variables, conditions, formulas with their
// formats, text and user functions. The environment is created afresh for
// each input, so that an input always meets it in the same state.
#include "alg_mutator.h"
#include "checked_api.h"

namespace {

constexpr const char* algorithm =
    "k_n|7\n"
    "k_t|\"text\"\n"
    "k_big|12345678.9\n"
    "r_a|1|9\n"
    "r_b|-5|5|0.5|1\n"
    "r_c|1|100|1|0|0|1\n"
    "c_ok|a<>b\n"
    "c_pos|a+c>2\n"
    "l_item|g|\"pen\"|\"book\"|\"lamp\"\n"
    "l_price|g|2|15|30\n"
    "q_sum|a+b|0\n"
    "q_ratio|a/b|3|1\n"
    "q_total|price*n*1000|2|0|1\n"
    "q_word|ucase(left(item,2)) & mid(t,2,2) & str(a,0)\n"
    "q_pick|if(a>b,\"a\",\"b\") & choose(2,\"x\",\"y\",\"z\")\n"
    "q_logic|(a>b) and not (b<0) or (c mod 3 = 1) xor (a imp b)\n"
    "f_sq|x*x|x\n"
    "f_hyp|sqrt(sq(p)+sq(q))|p|q\n"
    "f_join|s & \"-\" & u|s|u\n"
    "f_fact|if(k<=1,1,k*fact(k-1))|k\n";

fuzz::alg_mutator mutator(0, 8, algorithm);

}  // namespace

ZEKALG_FUZZ_MUTATOR_HOOKS(mutator)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> requests = fuzz::split_input(data, size, 8);
  if (requests.empty()) return 0;
  const int32_t id = fuzz::checked_create(0, algorithm);
  if (id < 0) {
    std::fprintf(stderr, "the fixed algorithm no longer creates\n");
    std::abort();
  }
  for (size_t i = 0; i < requests.size(); ++i) fuzz::solve_one_way(id, requests[i], i);
  fuzz::checked_kill(id);
  return 0;
}
