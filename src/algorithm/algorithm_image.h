// algorithm_image: the definition records of one algorithm text, read and
// translated once. Environments built from the same text share its image
// and keep only their own values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "algorithm/definitions.h"
#include "base/alg_array.h"
#include "base/alg_string.h"
#include "base/sharded.h"
#include "expr/call_memo.h"

class translation_store;

// The records of one algorithm text and the indexes of their names, made
// once and shared by every environment built from the same text.
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
  using name_index = std::unordered_map<std::string, uint32_t, text_hash, std::equal_to<>>;
  name_index variable_index;
  name_index function_index;
  bool indexed = false;
  // What keeping the image costs, roughly.
  size_t bytes = 0;
  // Calls of its functions that depended on nothing but their arguments.
  mutable call_memo memo;
};

// The images of algorithm texts. Every image that some environment still
// holds is found again, on any thread and whatever its size, so the
// environments of one text share one image. Besides, recent images are
// kept when no environment holds them any longer, for hosts that create
// and kill environments of one text in turn: in shards as the translations
// are kept (each thread keeps to one), a bounded number of images and of
// their counted bytes, emptied when full.
class image_store {
 public:
  // The image of `algorithm`: a kept one, or one made now.
  std::shared_ptr<const algorithm_image> of(translation_store& translations,
                                            const alg_string& algorithm);

 private:
  static constexpr size_t kMaxKeptPerShard = 64;
  static constexpr size_t kMaxBytesPerShard = size_t{4} << 20;
  static constexpr size_t kMaxKeptText = size_t{1} << 20;
  using image_map = std::unordered_map<std::string, std::shared_ptr<const algorithm_image>,
                                       text_hash, std::equal_to<>>;
  using held_map = std::unordered_map<std::string, std::weak_ptr<const algorithm_image>, text_hash,
                                      std::equal_to<>>;
  struct shard {
    std::mutex guard;
    image_map kept;
    size_t bytes = 0;
  };
  static constexpr size_t kMinHeldSweep = 64;

  // Notes `image` as held; entries of images no longer held go once their
  // count has doubled since the last sweep, so the map stays within twice
  // the images in use (and their texts, which the images hold anyway).
  static void remember_held(held_map& held, size_t& sweep_at, std::string_view text,
                            const std::shared_ptr<const algorithm_image>& image);

  sharded<shard> shards_;
  // Looked into only when a shard has no image for the text.
  std::mutex held_guard_;
  held_map held_;
  size_t held_sweep_at_ = kMinHeldSweep;
};

// The process's image store (api/engine_state.h).
image_store& the_images();
