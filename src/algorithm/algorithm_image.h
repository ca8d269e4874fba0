// algorithm_image: the definition records of one algorithm text, read and
// translated once. Environments built from the same text share its image
// and keep only their own values.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "algorithm/definitions.h"
#include "base/alg_array.h"
#include "base/alg_string.h"
#include "expr/call_memo.h"

class translation_store;

// The records of one algorithm text and the indexes of their names, made
// once and shared by every environment built from the same text.
// Lets go of the images kept for later creations (environments keep those
// they hold); called once, when the library is unloaded.
void release_algorithm_images() noexcept;

struct algorithm_image {
  // The image of `algorithm`: a kept one, or one made now.
  static std::shared_ptr<const algorithm_image> of(translation_store& translations,
                                                   const alg_string& algorithm);
  // The index of the first variable (or, with `function`, function) record
  // named `lowered`, or 0.
  uint32_t find_definition(std::string_view lowered, bool function) const;

  alg_array<definition_record> records;
  // The "c_" records with a "|", in table order: what each attempt of a
  // build checks.
  std::vector<uint32_t> conditions;
  // The record a lookup of a (lowered) variable or function name finds: the
  // first in table order. Filled for long tables only; short ones are
  // searched in order, which finds the same record.
  struct name_hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };
  using name_index = std::unordered_map<std::string, uint32_t, name_hash, std::equal_to<>>;
  name_index variable_index;
  name_index function_index;
  bool indexed = false;
  // What keeping the image costs, roughly.
  size_t bytes = 0;
  // Calls of its functions that depended on nothing but their arguments.
  mutable call_memo memo;
};

