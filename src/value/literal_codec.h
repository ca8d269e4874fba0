// The text codecs that make a text safe inside formula text: the encoded form
// holds only ASCII letters, digits and '%', so no parenthesis, comma, tilde,
// sign or space of a text literal can mislead the formula scanners.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/alg_string.h"

// Letters and digits copied; every other byte as '%' and two upper-case hex digits.
alg_string encode_literal(const alg_string& text);
// The length of encode_literal(text), without making it.
uint32_t encoded_length(std::string_view text) noexcept;
// '%' and two hex digits give one byte; '+' gives a space; others are copied.
alg_string decode_literal(const alg_string& text);
// The backslash escapes an author types in a string literal: \\ \0 \xHH \t \n.
alg_string unescape_literal(const alg_string& text);
