#include "base/tokens.h"

#include <cstring>
#include <vector>

namespace {

constexpr std::array<operator_token, 22> kTokens{{
    {operator_id::fac, "~fac~", "!", 1, true, false},
    {operator_id::not_, "~not~", "not", 1, false, true},
    {operator_id::exp, "~exp~", "^", 2, true, true},
    {operator_id::mul, "~mul~", "*", 3, true, true},
    {operator_id::div, "~div~", "/", 3, true, true},
    {operator_id::idv, "~idv~", "\\", 3, true, true},
    {operator_id::mod, "~mod~", "mod", 3, true, true},
    {operator_id::rem, "~rem~", "rem", 3, true, true},
    {operator_id::add, "~add~", "+", 4, true, true},
    {operator_id::sub, "~sub~", "-", 4, true, true},
    {operator_id::cat, "~cat~", "&", 5, true, true},
    {operator_id::lss, "~lss~", "<", 6, true, true},
    {operator_id::grt, "~grt~", ">", 6, true, true},
    {operator_id::leq, "~leq~", "<=", 6, true, true},
    {operator_id::geq, "~geq~", ">=", 6, true, true},
    {operator_id::eql, "~eql~", "=", 7, true, true},
    {operator_id::neq, "~neq~", "<>", 7, true, true},
    {operator_id::eqv, "~eqv~", "eqv", 8, true, true},
    {operator_id::and_, "~and~", "and", 9, true, true},
    {operator_id::ior, "~ior~", "or", 10, true, true},
    {operator_id::xor_, "~xor~", "xor", 10, true, true},
    {operator_id::imp, "~imp~", "imp", 11, true, true},
}};

struct token_strings {
  std::vector<alg_string> by_id;
  std::vector<alg_string> shown;
  std::array<std::vector<alg_string>, operator_level_count + 1> by_level;
  alg_string separator{"|"};

  token_strings() {
    for (const operator_token& t : kTokens) {
      by_id.emplace_back(t.token);
      shown.emplace_back(t.shown);
      by_level[t.level].emplace_back(t.token);
    }
  }
};

const token_strings& strings() {
  static const token_strings s;
  return s;
}

// Built when the library is loaded, so later reads never allocate.
[[maybe_unused]] const token_strings& kLoadTime = strings();

}  // namespace

std::span<const operator_token> operator_tokens() { return kTokens; }

const operator_token& token_of(operator_id id) { return kTokens[static_cast<size_t>(id)]; }

const alg_string& token_text(operator_id id) { return strings().by_id[static_cast<size_t>(id)]; }

const alg_string& token_shown(operator_id id) { return strings().shown[static_cast<size_t>(id)]; }

std::span<const alg_string> level_tokens(int level) {
  if (level < 1 || level > operator_level_count) return {};
  return strings().by_level[level];
}

const alg_string& field_separator() { return strings().separator; }

const operator_token* token_named(std::string_view five) {
  if (five.size() != token_length || five[0] != '~' || five[4] != '~') return nullptr;
  for (const operator_token& t : kTokens) {
    if (std::memcmp(five.data(), t.token, token_length) == 0) return &t;
  }
  return nullptr;
}

const operator_token* token_at(const alg_string& text, uint32_t pos) {
  if (pos == 0 || static_cast<uint64_t>(pos) + token_length - 1 > text.length()) return nullptr;
  return token_named(text.view().substr(pos - 1, token_length));
}

alg_string operators_to_text(const alg_string& text) {
  alg_string out = text;
  uint32_t p = out.find(1, alg_string("~"), false);
  while (p != 0) {
    if (const operator_token* t = token_at(out, p)) {
      out = out.splice(alg_string(t->shown), p, token_length);
    }
    if (p + 1 > out.length()) break;
    p = out.find(p + 1, alg_string("~"), false);
  }
  return out;
}
