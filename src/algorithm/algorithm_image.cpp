#include "algorithm/algorithm_image.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <new>

#include "base/errors.h"
#include "base/kept_map.h"
#include "expr/translation_store.h"

namespace {

// Below this many records a search in table order is as quick as a lookup.
constexpr uint32_t kIndexFrom = 16;

bool is_function(const definition_record& r) { return r.kind == 'f' && r.has_separator; }
bool is_named_variable(const definition_record& r) { return r.is_variable() && r.has_separator; }

std::shared_ptr<const algorithm_image> make_image(translation_store& translations,
                                                  const alg_string& algorithm) try {
  auto image = std::make_shared<algorithm_image>();
  load_definitions(image->records, algorithm);
  image->bytes = sizeof(algorithm_image) + 2 * algorithm.length();
  for (uint32_t i = 1; i <= image->records.high(); ++i) {
    definition_record& r = image->records[i];
    (void)prepare_record(translations, r);
    image->bytes += sizeof(definition_record) + r.line.length();
    for (uint32_t k = 1; k <= r.prepared.fields.high(); ++k) {
      image->bytes += r.prepared.fields[k].length() + sizeof(alg_string);
    }
    if (r.kind == 'c' && r.has_separator) image->conditions.push_back(i);
  }
  image->bytes += sizeof(uint32_t) * image->conditions.size();
  image->indexed = image->records.high() >= kIndexFrom;
  if (image->indexed) {
    for (uint32_t i = 1; i <= image->records.high(); ++i) {
      const definition_record& r = image->records[i];
      if (is_named_variable(r)) image->variable_index.try_emplace(std::string(r.name.view()), i);
      if (is_function(r)) image->function_index.try_emplace(std::string(r.name.view()), i);
    }
    image->bytes += 64 * image->records.high();
  }
  return image;
} catch (const std::bad_alloc&) {
  throw z_x_outofmemory();
}

// The images of algorithm texts. Every image that some environment still
// holds is found again, on any thread and whatever its size, so the
// environments of one text share one image. Besides, recent images are
// kept when no environment holds them any longer, for hosts that create
// and kill environments of one text in turn: in shards as the translations
// are kept (each thread keeps to one), a bounded number of images and of
// their counted bytes, emptied when full.
class image_store {
 public:
  std::shared_ptr<const algorithm_image> of(translation_store& translations,
                                            const alg_string& algorithm) {
    const std::string_view text = algorithm.view();
    shard& s = shard_of_this_thread();
    {
      const std::lock_guard<std::mutex> lock(s.guard);
      if (auto it = s.kept.find(text); it != s.kept.end()) return it->second;
    }
    std::shared_ptr<const algorithm_image> made;
    {
      const std::lock_guard<std::mutex> lock(held_guard_);
      if (auto it = held_.find(text); it != held_.end()) made = it->second.lock();
    }
    if (made == nullptr) {
      made = make_image(translations, algorithm);
      const std::lock_guard<std::mutex> lock(held_guard_);
      try {
        remember_held(held_, held_sweep_at_, text, made);
      } catch (const std::bad_alloc&) {
        // Not shared, then: the environment works with an image of its own.
      }
    }
    const std::lock_guard<std::mutex> lock(s.guard);
    if (text.size() <= kMaxKeptText && made->bytes <= kMaxBytesPerShard / 2) {
      keep_bounded(s.kept, s.bytes, text, made, made->bytes, kMaxKeptPerShard,
                   kMaxBytesPerShard);
    }
    return made;
  }

 private:
  static constexpr size_t kShards = 16;
  static constexpr size_t kMaxKeptPerShard = 64;
  static constexpr size_t kMaxBytesPerShard = size_t{4} << 20;
  static constexpr size_t kMaxKeptText = size_t{1} << 20;
  using image_map = std::unordered_map<std::string, std::shared_ptr<const algorithm_image>,
                                       algorithm_image::name_hash, std::equal_to<>>;
  using held_map = std::unordered_map<std::string, std::weak_ptr<const algorithm_image>,
                                      algorithm_image::name_hash, std::equal_to<>>;
  struct alignas(64) shard {
    std::mutex guard;
    image_map kept;
    size_t bytes = 0;
  };
  static constexpr size_t kMinHeldSweep = 64;

  // Notes `image` as held; entries of images no longer held go once their
  // count has doubled since the last sweep, so the map stays within twice
  // the images in use (and their texts, which the images hold anyway).
  static void remember_held(held_map& held, size_t& sweep_at, std::string_view text,
                            const std::shared_ptr<const algorithm_image>& image) {
    if (held.size() >= sweep_at) {
      std::erase_if(held, [](const auto& entry) { return entry.second.expired(); });
      sweep_at = std::max(kMinHeldSweep, 2 * held.size());
    }
    held.insert_or_assign(std::string(text), image);
  }
  shard& shard_of_this_thread() { return shards_[this_thread_number() % kShards]; }
  std::array<shard, kShards> shards_;
  // Looked into only when a shard has no image for the text.
  std::mutex held_guard_;
  held_map held_;
  size_t held_sweep_at_ = kMinHeldSweep;
};

}  // namespace

namespace {

// Freed only by release_algorithm_images, as the engine's state: a call may
// still be running on another thread while the process exits.
image_store*& store_slot() {
  static image_store* store = new image_store;
  return store;
}

}  // namespace

std::shared_ptr<const algorithm_image> algorithm_image::of(translation_store& translations,
                                                           const alg_string& algorithm) {
  return store_slot()->of(translations, algorithm);
}

void release_algorithm_images() noexcept {
  delete store_slot();
  store_slot() = nullptr;
}

uint32_t algorithm_image::find_definition(std::string_view lowered, bool function) const {
  if (indexed) {
    const name_index& index = function ? function_index : variable_index;
    const auto it = index.find(lowered);
    return it == index.end() ? 0 : it->second;
  }
  for (uint32_t i = 1; i <= records.high(); ++i) {
    const definition_record& r = records[i];
    const std::string_view name = r.name.view();
    // Names are short: a byte loop, with the length and first byte first.
    if (name.size() != lowered.size() || (!name.empty() && name[0] != lowered[0])) continue;
    if (!(function ? is_function(r) : is_named_variable(r))) continue;
    size_t k = 1;
    while (k < name.size() && name[k] == lowered[k]) ++k;
    if (k >= name.size()) return i;
  }
  return 0;
}
