#include "expr/translation_store.h"

#include <mutex>
#include <new>

#include "base/kept_map.h"
#include "expr/translator.h"

alg_string translation_store::translated(const alg_string& text) {
  const std::string_view key = text.view();
  if (key.size() > kMaxKeptText) {
    alg_string form = text;
    translate_formula(form);
    return form;
  }
  shard& s = shards_.of_this_thread();
  {
    const std::lock_guard<std::mutex> lock(s.guard);
    if (auto it = s.kept.find(key); it != s.kept.end()) return it->second;
  }
  alg_string form = text;
  translate_formula(form);
  const size_t bytes = key.size() + form.length();
  if (bytes > kMaxKeptText) return form;
  const std::lock_guard<std::mutex> lock(s.guard);
  keep_bounded(s.kept, s.bytes, key, form, bytes, kMaxKeptPerShard, kMaxBytesPerShard);
  return form;
}

std::shared_ptr<const formula_plan> translation_store::kept_plan(const alg_string& text,
                                                                 plan_kind kind) {
  const std::string_view key = text.view();
  if (key.size() > kMaxKeptText) return nullptr;
  shard& s = shards_.of_this_thread();
  auto& plans = s.plans[static_cast<size_t>(kind)];
  // A plan holds its text and a few hundred bytes per node.
  const auto size_of = [&](const std::shared_ptr<const formula_plan>& p) {
    return key.size() + (p != nullptr ? p->nodes().size() * 256 : 0);
  };
  // Keeps `p` among the recent, the recent becoming the older when full.
  const auto keep = [&](std::shared_ptr<const formula_plan> p) {
    const size_t bytes = size_of(p);
    if (plans.recent.size() >= kMaxKeptPerShard / 2 ||
        plans.bytes + bytes > kMaxBytesPerShard / 2) {
      plans.older = std::move(plans.recent);
      plans.recent.clear();
      plans.bytes = 0;
    }
    if (plans.recent.emplace(std::string(key), std::move(p)).second) plans.bytes += bytes;
  };
  {
    const std::lock_guard<std::mutex> lock(s.guard);
    if (auto it = plans.recent.find(key); it != plans.recent.end()) return it->second;
    if (auto it = plans.older.find(key); it != plans.older.end()) {
      std::shared_ptr<const formula_plan> found = it->second;
      try {
        keep(found);
      } catch (const std::bad_alloc&) {
        // Keeping it is only an optimisation.
      }
      return found;
    }
  }
  std::shared_ptr<const formula_plan> compiled =
      formula_plan::compile(kind == plan_kind::field ? alg_string("(") + text + ")" : text);
  try {
    const std::lock_guard<std::mutex> lock(s.guard);
    keep(compiled);
  } catch (const std::bad_alloc&) {
    // Keeping it is only an optimisation.
  }
  return compiled;
}

std::shared_ptr<const translation_store::request_form> translation_store::translated_request(
    const alg_string& text) {
  const std::string_view key = text.view();
  if (key.size() > kMaxKeptText) {
    auto made = std::make_shared<request_form>(request_form{translated(text), nullptr});
    made->plan = plan(made->form);
    return made;
  }
  shard& s = shards_.of_this_thread();
  std::shared_ptr<const request_form> kept;
  {
    const std::lock_guard<std::mutex> lock(s.guard);
    if (auto it = s.requests.find(key); it != s.requests.end()) kept = it->second;
  }
  if (kept == nullptr) {
    alg_string form = text;
    translate_formula(form);
    auto made = std::make_shared<request_form>(request_form{form, formula_plan::compile(form)});
    const size_t bytes =
        key.size() + form.length() + (made->plan != nullptr ? made->plan->nodes().size() * 256 : 0);
    if (key.size() + form.length() <= kMaxKeptText) {
      const std::lock_guard<std::mutex> lock(s.guard);
      keep_bounded(s.requests, s.request_bytes, key, std::shared_ptr<const request_form>(made),
                   bytes, kMaxKeptPerShard, kMaxBytesPerShard);
    }
    kept = std::move(made);
  }
  return kept;
}

std::shared_ptr<const function_template> translation_store::function_template_of(
    const alg_string& body, const alg_array<alg_string>& fields) {
  const std::string_view key = body.view();
  if (key.size() > kMaxKeptText)
    return make_function_template(fields,
                                  template_serials_.fetch_add(1, std::memory_order_relaxed) + 1);
  shard& s = shards_.of_this_thread();
  {
    const std::lock_guard<std::mutex> lock(s.guard);
    if (auto it = s.functions.find(key); it != s.functions.end()) return it->second;
  }
  std::shared_ptr<const function_template> made =
      make_function_template(fields, template_serials_.fetch_add(1, std::memory_order_relaxed) + 1);
  try {
    const std::lock_guard<std::mutex> lock(s.guard);
    if (s.functions.size() >= kMaxKeptPerShard) s.functions.clear();
    s.functions.emplace(std::string(key), made);
  } catch (const std::bad_alloc&) {
    // Keeping it is only an optimisation.
  }
  return made;
}
