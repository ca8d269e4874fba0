// The question an algorithm declares: which text variable holds the
// prompt, the parts a student answers, and the texts shown after answering.
// Declarations are lines that start with "?", which the engine ignores, so
// every host loads the file unchanged:
//
//   ?prompt|text                the text variable that holds the question
//   ?numeric|area|abs 0.01      a numeric part: the variable and a tolerance
//   ?text|unit|loose            a text part: exact, or ignoring case and spaces
//   ?choice|right|o1|o2|o3      a multiple-choice part: the right option's
//                               variable, then every option's variable
//   ?solution|worked            the worked solution (a text variable)
//   ?feedback|hint              general feedback (a text variable)
//
// Parts are numbered in file order. Names are kept as written (engine
// bytes); the engine compares them ignoring letter case.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/algorithm_file.h"
#include "tools/check.h"

namespace tools {

// How close a numeric answer must come to the variant's value.
struct tolerance {
  enum class kind {
    shown,        // the value as the variable displays it (no tolerance written)
    absolute,     // abs X: within X of the value
    relative,     // rel X% or rel X: within that fraction of the value
    significant,  // sig N: written with N significant figures, the value rounded to them
    decimals,     // dec N: written with N decimals, the value rounded to them
  };
  kind how = kind::shown;
  double amount = 0;  // absolute: the distance; relative: the fraction (0.05 for 5%)
  int digits = 0;     // significant: the figures; decimals: the decimals
  std::string text;   // as written, spaces trimmed ("abs 0.01"; empty for shown)
};

// A text variable the question shows: its prompt, solution or feedback.
struct question_text {
  int line = 0;
  std::string variable;
};

struct question_part {
  enum class kind { numeric, text, choice };
  int line = 0;
  kind what = kind::numeric;
  // numeric and text: the answer's variable; choice: the right option's.
  std::string variable;
  tolerance tol;                     // numeric
  bool loose = false;                // text: compared ignoring case and spaces
  std::vector<std::string> options;  // choice: every option's variable, as listed
};

struct question {
  std::optional<question_text> prompt;
  std::vector<question_part> parts;
  std::optional<question_text> solution;
  std::optional<question_text> feedback;
  int first_line = 0;  // of the first declaration; 0: the file declares nothing

  bool declared() const { return first_line != 0; }
  // Every variable a declaration names, with its line, in file order (a
  // choice's right option once, then the others).
  std::vector<question_text> variables() const;
};

// A line of the file that is a declaration: it starts with "?".
bool is_declaration(const std::string& line);

// The declarations of `file`. What cannot be taken (an unknown keyword, a
// missing or extra field, a field that is no variable name, a malformed
// tolerance, a second prompt, a right option missing from the options, no
// part at all) goes to `problems` as an error on its line and is left out of
// the question. Whether the variables exist is the check's business.
question parse_question(const algorithm_file& file, std::vector<diagnostic>* problems = nullptr);

// The tolerance of a numeric part as written (spaces around words are
// free); nothing, with `*problem` set, when it is malformed.
std::optional<tolerance> parse_tolerance(const std::string& text, std::string* problem = nullptr);

// A number as written: its value, and the decimals and significant figures
// the writing gives. A whole number's trailing zeros may or may not count
// as figures: 1200 gives 2 to 4.
struct written_number {
  double value = 0;
  int decimals = 0;     // of the value: 1.50e-4 has 6
  int figures = 0;      // significant figures, at least
  int figures_max = 0;  // and at most
};

// The engine's display of a number: "12.35", "–7" (en dash, engine byte
// 0x96), "12,345.50", "1.50e–4". Nothing for a text, nan or inf.
std::optional<written_number> read_shown_number(const std::string& shown);

// What a numeric answer earns.
struct verdict {
  enum class kind { right, wrong, unreadable };
  kind result = kind::wrong;
  std::string reason;  // unreadable: what the answer must give ("give 3 significant figures")
};

// Judges `answer` against a variant of a numeric part with tolerance `tol`,
// whose variable holds `value` and displays `shown`. A distance equal to
// the tolerance (or to half the last digit of sig and dec) is within it, so
// a value half way is rounded either way.
verdict judge_number(const tolerance& tol, double value, const written_number& shown,
                     const written_number& answer);

}  // namespace tools
