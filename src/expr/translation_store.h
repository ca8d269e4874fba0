// translation_store: recent translations into the operator form. Every
// attempt of a build reloads the same lines, and hosts create many
// environments from one algorithm and ask the same requests, while the
// translation of a text never changes: keeping recent ones saves most of the
// translator's work. Safe to use from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/alg_string.h"

class translation_store {
 public:
  // The operator form of `text`, from the store or translated now. Throws
  // z_x_outofstringspace only.
  alg_string translated(const alg_string& text);

 private:
  struct view_hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };
  // Texts spread over shards by hash, each behind a lock that readers share,
  // so threads working on different texts, or reading the same ones, do not
  // wait for each other. A full shard is emptied: the store is bounded.
  struct shard {
    std::shared_mutex guard;
    std::unordered_map<std::string, alg_string, view_hash, std::equal_to<>> kept;
  };
  static constexpr size_t kShards = 16;
  static constexpr size_t kMaxKeptPerShard = 256;
  std::array<shard, kShards> shards_;
};
