// The translator: turns a formula as an author writes it into the operator
// form the evaluator rewrites: one text in outer parentheses, no spaces, every
// operator a five-byte token, every text literal encoded, and the operands of
// '!' and '^' fenced in parentheses of their own. It is a fixed sequence of
// text replacements; their order decides what each written form means.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/alg_string.h"

// Rewrites `text` in place into the operator form. Any bytes are accepted;
// a broken formula comes out broken and fails when it is evaluated. A string
// literal's content is never read as a word operator or as if/choose. Throws
// z_x_outofstringspace only, when memory runs out.
void translate_formula(alg_string& text);

enum class scan_mode { translator, evaluator };

// The operand texts around the token starting at 1-based `token_pos`: `left`
// ends just before the token, `right` starts just after its fifth byte.
// Either may come back empty. A quote or parenthesis whose partner is missing
// makes the operand run to the start (left) or the end (right) of the text.
// Position 0 gives two empty operands. `left` and `right` may alias `text`.
void extract_operands(const alg_string& text, uint32_t token_pos, scan_mode mode, alg_string& left,
                      alg_string& right);

// Where the name directly before the byte at 0-based `open` starts (back to
// the nearest delimiter listed at name_before, or 0).
size_t name_start(std::string_view text, size_t open);

// Whether the operand scans around tokens (evaluator mode) take exactly
// `text` when it stands between two tokens: the empty text, a quoted literal
// with no other quote, or signs and name bytes where a sign after a name
// byte follows the 'e' of an exponent.
bool is_whole_operand(std::string_view text);

// The name directly before the '(' at 1-based `open_pos`, back to the nearest
// delimiter (comma, '~', '+', '-', '(', ')', '"', '|') or the start. Empty for
// positions 0 and 1; a position past the end reads back from the end.
alg_string name_before(const alg_string& text, uint32_t open_pos);

// Whether `c` ends a word where replace_word replaces one: comma, '~', '+',
// '-', '(', ')', '"', space, '|'.
bool ends_word(char c);

// Whether `lowered` is spelled like the letters of an operator token ("add"
// of "~add~"): a parameter of that name would be replaced inside tokens.
bool spelled_like_token(std::string_view lowered);

// `text` with every whole-word occurrence of `word` (ignoring case) replaced.
// Word delimiters: comma, '~', '+', '-', '(', ')', '"', space, '|', or the ends.
// The replacement is not searched again, and a match that is no whole word is
// skipped as a whole. An empty word leaves the text as it is.
alg_string replace_word(const alg_string& text, const alg_string& word,
                        const alg_string& replacement);

// A string literal of a formula whose whole content the translator reads as
// a word operator or as if/choose instead of as text.
struct word_literal {
  std::string content;  // as written between the quotes
  std::string word;     // the word it is read as, in lower case
};
// Every such literal of `formula` (as an author writes it), left to right.
std::vector<word_literal> literals_read_as_words(std::string_view formula);
