#include "algorithm/environment.h"

#include <mutex>
#include <new>
#include <string>
#include <unordered_map>

#include "base/errors.h"
#include "expr/translator.h"

void index_record(definition_record& record) {
  const alg_string& line = record.line;
  record.kind = 0;
  if (line.length() >= 2 && line.char_at(2) == '_') {
    switch (line.char_at(1)) {
      case 'k': case 'q': case 'r': case 'l': case 'c': case 'f':
        record.kind = static_cast<char>(line.char_at(1));
        break;
      default:
        break;
    }
  }
  const uint32_t bar = line.find(1, alg_string("|"), false);
  record.has_separator = bar != 0;
  record.name = bar > 3 ? line.mid(3, bar - 3).lower() : alg_string();
}

alg_string translated(const alg_string& text) {
  // One store for the process, behind a lock: hosts are asked to make one
  // call at a time, but a lock costs nothing next to a translation, and a
  // per-thread store would need destructors at thread exit, which a DLL runs
  // under the loader's lock.
  constexpr size_t kMaxKept = 4096;
  static std::mutex guard;
  static auto* kept = new std::unordered_map<std::string, alg_string>();
  const std::string key(text.view());
  {
    const std::lock_guard<std::mutex> lock(guard);
    if (auto it = kept->find(key); it != kept->end()) return it->second;
  }
  alg_string form = text;
  translate_formula(form);
  try {
    const std::lock_guard<std::mutex> lock(guard);
    if (kept->size() >= kMaxKept) kept->clear();
    kept->emplace(key, form);
  } catch (const std::bad_alloc&) {
    // Keeping it is only an optimisation.
  }
  return form;
}
