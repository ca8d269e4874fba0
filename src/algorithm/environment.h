// alg_environment: one loaded algorithm with its definition table, its list
// group choices and the depths that bound evaluation. The registry owns every
// environment; an environment never owns its base.
#pragma once

#include <cstdint>

#include "base/alg_array.h"
#include "base/alg_hash.h"
#include "base/alg_string.h"
#include "value/alg_value.h"

// One definition line and its cached result.
struct definition_record {
  alg_string line;
  alg_value value;
  bool computed = false;
  bool in_progress = false;
  int32_t digits = -1;  // -1: not given
  bool scientific = false;
  bool grouping = false;

  // Read off `line` when it is loaded, so lookups need not re-parse it:
  // the kind letter of an exact "k_", "q_", "r_", "l_", "c_" or "f_" prefix
  // (0 for any other start), whether the line has a "|", and the lowered
  // bytes between the prefix and the first "|".
  char kind = 0;
  bool has_separator = false;
  alg_string name;
};

// Fills the parsed fields of `record` from its line.
void index_record(definition_record& record);

struct alg_environment {
  // 0 after construction; a solve leaves it at 1. Chooses the nesting limit.
  uint8_t solving = 0;
  alg_environment* base = nullptr;
  // Live environments built on this one (the registry keeps the count).
  int32_t dependents = 0;
  int32_t call_depth = 0;
  int32_t reduction_depth = 0;
  // User-function expansions of the current export call (bounds recursion
  // that the depth limits cannot see during a solve).
  int64_t expansions = 0;
  alg_hash group_choices;
  alg_array<definition_record> definitions;
  // The algorithm text this environment was built from.
  alg_string algorithm;
};

// The operator form of `text`. Every attempt of a build reloads the same
// lines, and hosts create many environments from one algorithm and ask the
// same requests, while the translation of a text never changes: recent
// translations are kept (a bounded number).
alg_string translated(const alg_string& text);
