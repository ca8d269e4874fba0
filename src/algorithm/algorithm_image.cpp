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

}  // namespace

std::shared_ptr<const algorithm_image> image_store::of(translation_store& translations,
                                                       const alg_string& algorithm) {
  const std::string_view text = algorithm.view();
  shard& s = shards_.of_this_thread();
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
    keep_bounded(s.kept, s.bytes, text, made, made->bytes, kMaxKeptPerShard, kMaxBytesPerShard);
  }
  return made;
}

void image_store::remember_held(held_map& held, size_t& sweep_at, std::string_view text,
                                const std::shared_ptr<const algorithm_image>& image) {
  if (held.size() >= sweep_at) {
    std::erase_if(held, [](const auto& entry) { return entry.second.expired(); });
    sweep_at = std::max(kMinHeldSweep, 2 * held.size());
  }
  held.insert_or_assign(std::string(text), image);
}

std::shared_ptr<const algorithm_image> algorithm_image::of(translation_store& translations,
                                                           const alg_string& algorithm) {
  return the_images().of(translations, algorithm);
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
