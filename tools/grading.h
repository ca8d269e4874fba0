// A question as a student sees one variant of it, and the verdict on a
// student's answers: written once here, for the command (`zekalg grade`),
// the service (POST /v1/grade), the tools' C interface and the bindings.
//
// The variant is made as `zekalg solve FILE --base BASE --seed S` makes it:
// the base and the algorithm built after the seed, then every variable
// solved in definition order. Only then are the options of each choice part
// put in the variant's order, with draws from the variant's own stream
// (a Fisher-Yates shuffle, one rand() per option after the first), so one
// seed always gives one order and the values are those `solve` shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/algorithm_file.h"
#include "tools/question.h"
#include "tools/variant.h"

namespace tools {

// One part as the student sees it. Texts are engine bytes.
struct part_view {
  question_part::kind what = question_part::kind::numeric;
  std::string variable;              // numeric and text: the answer's variable
  std::string tolerance;             // numeric: as declared ("abs 0.01"; empty: as shown)
  bool loose = false;                // text: ignoring case and spaces
  std::vector<std::string> options;  // choice: the options' texts, in the variant's order
  std::string answer;                // the right answer as shown (choice: the right option's text)
  int right_option = 0;              // choice: its position in `options`, from 1
  // numeric: the value held (not the rounded display); nothing when the
  // variable shows no number (a text, nan, inf), and then only the shown
  // text itself is right.
  std::optional<double> value;
};

struct question_view {
  uint32_t seed = 0;
  std::optional<std::string> prompt;  // each declared text, as shown
  std::vector<part_view> parts;
  std::optional<std::string> solution;
  std::optional<std::string> feedback;
};

// A verdict on one part's response: the numeric parts' own (judge_number).
using part_verdict = verdict;

// The variant of `file` (on `base`) for `seed`, as a student sees it.
// Throws view_error when the file declares no question, when the variant
// cannot be made, or when a declared variable fails to solve.
struct view_error {
  placed_message where;  // the engine's message and its place, or the tools' own
};
question_view view_question(const algorithm_file& file, const algorithm_file* base, uint32_t seed);

// The verdict on each response, one per part in order (engine bytes, as the
// student typed them). A numeric response may use a comma or a point as
// its decimal mark where that is unambiguous, a leading minus ('-', the
// engine's en dash or U+2212 as UTF-8 converted), and the exponent forms
// 1.5e-4 and 1.5 x 10^-4 (also with '*' or the multiplication sign); it is
// judged with the part's tolerance (judge_number). A text response is
// compared exactly, or ignoring case and spaces. A choice response is an
// option's text as shown, or its position in the shown order (1, 2, ...).
std::vector<part_verdict> grade_responses(const question_view& view, const question& q,
                                          const std::vector<std::string>& responses);

// The same for responses in UTF-8 (as front ends receive them): U+2212 is
// read as a minus, and a response with a character the engine's code page
// lacks is unreadable (numeric) or wrong (text) without being compared.
// The number of responses must be that of the parts.
std::vector<part_verdict> grade_utf8_responses(const question_view& view, const question& q,
                                               const std::vector<std::string>& responses);

// A response as typed, read as a number: nothing with `*reason` set ("not
// a number", "1,234 could be 1234 or 1.234: ...") when it cannot be read.
// `grouped`: the answer is shown with thousands commas, so a comma followed
// by three digits groups them.
std::optional<written_number> read_typed_number(const std::string& response, bool grouped,
                                                std::string* reason = nullptr);

// {"seed", "prompt", "parts": [{"part", "kind", "variable", "tolerance",
// "match", "options", "answer", "right_option"}], "solution", "feedback",
// and with responses "verdicts": [{"part", "result": "right"|"wrong"|
// "unreadable", "reason"}], "right": N}: the tools' grade document, UTF-8
// (the engine's en dash kept unless `ascii_minus`). A question that cannot
// be graded (see view_question, or responses other than one per part)
// throws view_error. `responses` are UTF-8.
std::string grade_document(const algorithm_file& file, const algorithm_file* base, uint32_t seed,
                           const std::optional<std::vector<std::string>>& responses,
                           bool ascii_minus = false);
// The same, a question that cannot be graded answering the tools' error
// document.
std::string grade_json(const algorithm_file& file, const algorithm_file* base, uint32_t seed,
                       const std::optional<std::vector<std::string>>& responses,
                       bool ascii_minus = false);

}  // namespace tools
