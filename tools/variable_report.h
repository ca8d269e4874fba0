// Why the variables of an environment fail to solve, each failure told once.
//
// A solve first resolves every variable defined ahead of its request, so once
// one variable fails, every later request fails with that variable's error
// and the errors of later lines stay hidden. The report resolves each
// variable on its own, in the order a solve resolves them (base environments
// first), and keeps going past a failure: each failing variable's own error
// comes out once, and the variables that fail only because an earlier one
// does are named together.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/algorithm_file.h"
#include "tools/encoding.h"
#include "zekalg/zekalg.hpp"

struct alg_environment;

namespace tools {

// A request the command solved through the C functions, and its error.
struct solved_name {
  std::string name;                  // engine bytes
  std::optional<std::string> error;  // the engine's message when the solve failed
};

// An error of a variable's own definition (or of a function it calls), not
// one it takes over from another variable.
struct variable_error {
  std::size_t level = 0;  // 0: the environment's own algorithm; 1: its base
  int line = 0;           // the line the message is about (0: none known)
  std::string name;       // the variable whose resolution met it first
  std::string message;    // engine bytes
};

struct failure_report {
  // In the order a solve resolves the variables; each message once.
  std::vector<variable_error> errors;
  // The failed requests whose failure is one of the errors above.
  std::vector<std::string> cascade;
};

// Explains the failed requests of `solved`, all of them variables of `env`'s
// algorithm (`files[0]`; `files[1]` is its base's). Resolves in `env` itself
// whatever is not computed yet, so values already solved stay as the
// requests saw them. The report covers the variables up to the last one
// requested.
failure_report explain_failures(const zekalg::environment& env,
                                const std::vector<const algorithm_file*>& files,
                                const std::vector<solved_name>& solved);
// The same for an environment the caller built inside the engine (check's
// trial creations); null explains nothing beyond the requests.
failure_report explain_failures(alg_environment* env,
                                const std::vector<const algorithm_file*>& files,
                                const std::vector<solved_name>& solved);

// "x, y and z" (engine bytes in, `enc` out).
std::string name_list(const std::vector<std::string>& names, encoding enc);

// The sentence for the failed requests that only repeat the errors above:
// "b, d and f fail only because of the errors above".
std::string cascade_sentence(const std::vector<std::string>& names, std::size_t errors,
                             encoding enc);

// Prints each error as "FILE:LINE: error: message" and the cascade as one
// "FILE: note: ..." line.
void print_failure_report(const failure_report& report,
                          const std::vector<const algorithm_file*>& files, encoding enc,
                          std::ostream& err);

// Prints the characters a formula cannot read as meant (text_traps, as
// "FILE:LINE:COLUMN: warning: text") and the definitions named like reserved
// words, built-ins or word operators ("FILE:LINE: warning: text").
void print_name_traps(const algorithm_file& file, encoding enc, std::ostream& err);

}  // namespace tools
