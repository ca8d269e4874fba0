// Small helpers shared by the test files.
#pragma once

#include <string>

#include "base/alg_string.h"

// Builds an alg_string from a std::string, NUL bytes included.
inline alg_string S(const std::string& s) { return alg_string(std::string_view(s)); }
// The bytes of an alg_string as a std::string.
inline std::string B(const alg_string& s) { return std::string(s.view()); }
// The en dash byte as a string, for expected result texts.
inline const std::string kDash = std::string(1, static_cast<char>(150));
