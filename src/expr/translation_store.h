// translation_store: recent translations into the operator form. Every
// attempt of a build reloads the same lines, and hosts create many
// environments from one algorithm and ask the same requests, while the
// translation of a text never changes: keeping recent ones saves most of the
// translator's work. Safe to use from any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/alg_string.h"
#include "base/sharded.h"
#include "expr/formula_plan.h"

class translation_store {
 public:
  // The operator form of `text`, from the store or translated now. Throws
  // z_x_outofstringspace only.
  alg_string translated(const alg_string& text);

  // A request's operator form and its plan (nullptr when it has none),
  // found with one lookup.
  struct request_form {
    alg_string form;
    std::shared_ptr<const formula_plan> plan;
  };
  std::shared_ptr<const request_form> translated_request(const alg_string& text);

  // The template of a user function with this body (after its prefix and
  // name), made from its translated fields unless kept.
  std::shared_ptr<const function_template> function_template_of(
      const alg_string& body, const alg_array<alg_string>& fields);

  // The plan of a translated text, from the store or compiled now; nullptr
  // when the text has none (it is then rewritten). Whether a plan is used
  // is the dispatcher's choice (dispatch.h).
  std::shared_ptr<const formula_plan> plan(const alg_string& translated_text) {
    return kept_plan(translated_text, plan_kind::text);
  }
  // The plan of a translated field evaluated as one group ("(" field ")").
  std::shared_ptr<const formula_plan> group_plan(const alg_string& field) {
    return kept_plan(field, plan_kind::field);
  }
  // The plan of a user function's expansion. These change with the
  // arguments, so they are kept apart: their turnover never drops the plans
  // of the algorithms' own formulas.
  std::shared_ptr<const formula_plan> expansion_plan(const alg_string& text) {
    return kept_plan(text, plan_kind::expansion);
  }

 private:
  // Each thread keeps to one shard (threads are dealt out to the shards in
  // turn), so threads hardly ever take the same lock, or even touch the same
  // memory, however much they share their texts. The store is bounded in
  // entries and in bytes: a full shard is emptied, and a long text (which
  // costs little to translate next to what it costs to evaluate) is not
  // kept at all.
  struct shard {
    std::mutex guard;
    std::unordered_map<std::string, alg_string, text_hash, std::equal_to<>> kept;
    size_t bytes = 0;
    // Plans of whole texts, of fields and of expansions, each in two
    // generations: a full one becomes the older, and what is used from the
    // older moves back, so plans in use outlive the turnover of the rest.
    using plan_map = std::unordered_map<std::string, std::shared_ptr<const formula_plan>, text_hash,
                                        std::equal_to<>>;
    struct plan_generations {
      plan_map recent;
      plan_map older;
      size_t bytes = 0;
    };
    std::array<plan_generations, 3> plans;
    std::unordered_map<std::string, std::shared_ptr<const request_form>, text_hash, std::equal_to<>>
        requests;
    size_t request_bytes = 0;
    std::unordered_map<std::string, std::shared_ptr<const function_template>, text_hash,
                       std::equal_to<>>
        functions;
  };
  static constexpr size_t kMaxKeptPerShard = 1024;
  static constexpr size_t kMaxBytesPerShard = size_t{1} << 20;
  static constexpr size_t kMaxKeptText = 4096;
  enum class plan_kind { text, field, expansion };
  std::shared_ptr<const formula_plan> kept_plan(const alg_string& text, plan_kind kind);
  sharded<shard> shards_;
  // The serial of the next function template.
  std::atomic<uint64_t> template_serials_{0};
};
