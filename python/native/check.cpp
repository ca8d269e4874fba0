// The diagnostics of `zekalg check` for the Python package, as JSON text:
//   {"diagnostics": [{"line": 3, "error": true, "text": "..."}, ...]}
// or {"failure": "..."} when the check itself could not run. Texts come in
// as the engine's Windows-1252 bytes and go out as UTF-8.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include <nlohmann/json.hpp>

#include "algorithm_file.h"
#include "check_command.h"
#include "encoding.h"

#define ZEKALG_PY_API extern "C" __attribute__((visibility("default")))

namespace {

// The texts are engine bytes already, so they pass unconverted.
cli::algorithm_file file_of(const char* path, const char* text) {
  return cli::algorithm_from_text(path != nullptr ? path : "", text != nullptr ? text : "",
                                  cli::encoding::cp1252);
}

char* copied(const std::string& text) {
  char* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (out != nullptr) std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

}  // namespace

// Checks `algorithm` (written for a base environment built from `base`
// when that is not null) with `creations` trial creations. `path` and
// `base_path` stand for the files in the messages' hints. Returns text that
// zekalg_py_free releases, or null when memory ran out.
ZEKALG_PY_API char* zekalg_py_check(const char* algorithm, const char* path, const char* base,
                                    const char* base_path, int32_t creations) {
  try {
    const cli::algorithm_file file = file_of(path, algorithm);
    cli::algorithm_file base_file;
    if (base != nullptr) base_file = file_of(base_path, base);
    nlohmann::json list = nlohmann::json::array();
    for (const cli::diagnostic& d :
         cli::check_algorithm(file, creations, base != nullptr ? &base_file : nullptr)) {
      list.push_back({{"line", d.line}, {"error", d.error}, {"text", cli::cp1252_to_utf8(d.text)}});
    }
    return copied(nlohmann::json{{"diagnostics", list}}.dump());
  } catch (const std::exception& e) {
    try {
      return copied(nlohmann::json{{"failure", cli::cp1252_to_utf8(e.what())}}.dump());
    } catch (...) {
      return nullptr;
    }
  } catch (...) {
    return nullptr;
  }
}

ZEKALG_PY_API void zekalg_py_free(char* text) { std::free(text); }
