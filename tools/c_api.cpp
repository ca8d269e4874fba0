// The C interface of the tools (include/zekalg/tools.h): arguments checked
// and converted, the tools called, the document handed over in memory the
// caller releases with zekalg_tools_free. No exception crosses it.
#include "zekalg/tools.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tools/algorithm_file.h"
#include "tools/check.h"
#include "tools/documents.h"
#include "tools/grading.h"
#include "tools/json_writer.h"
#include "tools/question_test.h"
#include "tools/sampling.h"
#include "tools/variant.h"

namespace {

using namespace tools;

// A call that cannot run: its message (UTF-8) and the place it is about.
struct call_error {
  std::string message;
  std::size_t level = 0;
  int line = 0;
};

encoding encoding_of(int32_t flags) {
  return (flags & ZEKALG_TOOLS_ENGINE_BYTES) != 0 ? encoding::cp1252 : encoding::utf8;
}

// The algorithm (level 0) or base (level 1) text as the command would load
// a file of that name.
algorithm_file file_of(const char* text, const char* path, const char* fallback, std::size_t level,
                       int32_t flags) {
  const std::string name = path != nullptr && *path != '\0' ? path : fallback;
  try {
    return algorithm_from_text(name, text != nullptr ? text : "", encoding_of(flags));
  } catch (const text_error& e) {
    throw call_error{name + ":" + std::to_string(e.line) + ": " + e.reason, level, e.line};
  } catch (const command_error& e) {
    throw call_error{e.what(), level, 0};
  }
}

struct sources {
  algorithm_file file;
  std::optional<algorithm_file> base;
  const algorithm_file* base_file() const { return base ? &*base : nullptr; }
};

sources sources_of(const char* algorithm, const char* path, const char* base, const char* base_path,
                   int32_t flags) {
  sources s{file_of(algorithm, path, "algorithm.alg", 0, flags), std::nullopt};
  if (base != nullptr && *base != '\0') s.base = file_of(base, base_path, "base.alg", 1, flags);
  return s;
}

// One engine text per non-empty line of `list`.
std::vector<std::string> lines_of(const char* list, const char* what, int32_t flags) {
  std::vector<std::string> out;
  if (list == nullptr) return out;
  int number = 0;
  for (const std::string& line : text_lines(list)) {
    ++number;
    if (line.empty()) continue;
    try {
      out.push_back(to_engine(line, encoding_of(flags)));
    } catch (const encoding_error& e) {
      throw call_error{std::string(what) + " " + std::to_string(number) + ": " + e.what()};
    }
  }
  return out;
}

uint32_t variant_seed(int64_t seed) {
  if (seed == ZEKALG_TOOLS_NO_SEED) return random_seed();
  if (seed < -2147483648LL || seed > 4294967295LL) {
    throw call_error{"the seed must be from -2147483648 to 4294967295"};
  }
  return static_cast<uint32_t>(seed);
}

char* copied(const std::string& text) {
  char* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (out != nullptr) std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

template <typename Make>
char* answer(const Make& make) noexcept {
  try {
    try {
      return copied(make());
    } catch (const call_error& e) {
      return copied(error_json(e.message, e.level, e.line));
    } catch (const std::bad_alloc&) {
      return nullptr;
    } catch (const std::exception& e) {
      return copied(error_json(e.what()));
    }
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

extern "C" {

ZEKALG_TOOLS_API char* zekalg_tools_variant(const char* algorithm, const char* path,
                                            const char* base, const char* base_path,
                                            const char* requests, int64_t seed, int32_t flags) {
  return answer([&] {
    const sources s = sources_of(algorithm, path, base, base_path, flags);
    const std::vector<std::string> wanted = lines_of(requests, "request", flags);
    const uint32_t chosen = variant_seed(seed);
    return with_warnings(variant_json(solve_variant(s.file, s.base_file(), chosen, wanted), chosen,
                                      (flags & ZEKALG_TOOLS_ASCII_MINUS) != 0),
                         text_warnings(s.file, s.base_file()));
  });
}

ZEKALG_TOOLS_API char* zekalg_tools_sample(const char* algorithm, const char* path,
                                           const char* base, const char* base_path,
                                           const char* names, int64_t count, int64_t seed,
                                           int32_t threads, int32_t flags) {
  return zekalg_tools_sample_rows(algorithm, path, base, base_path, names, 1, count, seed, threads,
                                  flags);
}

ZEKALG_TOOLS_API char* zekalg_tools_sample_rows(const char* algorithm, const char* path,
                                                const char* base, const char* base_path,
                                                const char* names, int64_t first_row, int64_t count,
                                                int64_t seed, int32_t threads, int32_t flags) {
  return answer([&] {
    const sources s = sources_of(algorithm, path, base, base_path, flags);
    const std::vector<std::string> wanted = lines_of(names, "name", flags);
    if (count < 1 || count > 10000000) throw call_error{"the count must be from 1 to 10000000"};
    if (first_row < 1 || first_row > 1000000000000) {
      throw call_error{"the first row must be from 1 to 1000000000000"};
    }
    if (threads < 0 || threads > 256) throw call_error{"threads must be from 0 to 256"};
    std::size_t missing = 0;
    std::optional<std::vector<std::string>> chosen = sample_variables(s.file, wanted, missing);
    if (!chosen) {
      throw call_error{"no variable '" + cp1252_to_utf8(wanted[missing]) + "' is defined"};
    }
    const uint64_t from =
        seed == ZEKALG_TOOLS_NO_SEED ? random_seed() : static_cast<uint64_t>(seed);
    const sample_result sample = sample_variants(s.file, s.base_file(), std::move(*chosen), count,
                                                 from, {}, threads, first_row);
    return with_warnings(
        sample_json(sample, s.file, s.base_file(), (flags & ZEKALG_TOOLS_ASCII_MINUS) != 0, -1,
                    (flags & ZEKALG_TOOLS_ROW_ARRAYS) != 0),
        text_warnings(s.file, s.base_file()));
  });
}

ZEKALG_TOOLS_API char* zekalg_tools_check(const char* algorithm, const char* path, const char* base,
                                          const char* base_path, int32_t creations, int32_t flags) {
  return answer([&] {
    const sources s = sources_of(algorithm, path, base, base_path, flags);
    if (creations < 0 || creations > 100000) {
      throw call_error{"creations must be from 0 to 100000"};
    }
    std::optional<variant_count> count;
    const std::vector<diagnostic> found = check_algorithm(
        s.file, creations == 0 ? kDefaultCreations : creations, s.base_file(), {}, nullptr, &count);
    return check_json(found, -1, count ? &*count : nullptr);
  });
}

ZEKALG_TOOLS_API char* zekalg_tools_test(const char* algorithm, const char* path, const char* base,
                                         const char* base_path, const char* test, int32_t seeds,
                                         int32_t flags) {
  return answer([&] {
    sources s = sources_of(algorithm, path, base, base_path, flags);
    const encoding enc = encoding_of(flags);
    test_file parsed;
    if (test != nullptr) {
      try {
        parsed = parse_test_file("test", test);
      } catch (const command_error& e) {
        throw call_error{e.what()};
      }
    } else {
      if (seeds < 1 || seeds > 10000) throw call_error{"seeds must be from 1 to 10000"};
      parsed.blocks = new_test_blocks(seeds);
    }
    std::vector<std::string> requests;
    for (const std::string& r : parsed.requests) requests.push_back(to_engine(r, enc));
    // Lines are in the caller's encoding; the document is UTF-8.
    const auto utf8 = [&](const std::string& line) {
      return enc == encoding::cp1252 ? cp1252_to_utf8(line) : line;
    };
    json_writer w;
    w.begin_object();
    if (test == nullptr) {
      int failed = 0;
      for (test_file::block& block : parsed.blocks) {
        bool bad = false;
        block.lines = variant_lines(s.file, s.base_file(), requests, block.seed, enc, &bad);
        failed += bad ? 1 : 0;
      }
      w.field("text", utf8(format_test_file(s.file.path, parsed))).field("failed", failed);
      return w.end_object().take();
    }
    bool passed = true;
    w.key("variants").begin_array();
    for (const test_file::block& block : parsed.blocks) {
      const std::vector<std::string> got =
          variant_lines(s.file, s.base_file(), requests, block.seed, enc);
      const bool same = got == block.lines;
      passed = passed && same;
      w.begin_object().field("seed", block.seed).field("line", block.line).field("passed", same);
      w.key("expected").begin_array();
      for (const std::string& line : block.lines) w.value(utf8(line));
      w.end_array().key("actual").begin_array();
      for (const std::string& line : got) w.value(utf8(line));
      w.end_array().end_object();
    }
    w.end_array().field("passed", passed);
    return w.end_object().take();
  });
}

ZEKALG_TOOLS_API char* zekalg_tools_describe(const char* algorithm, const char* base,
                                             const char* message, int32_t flags) {
  return answer([&] {
    const sources s = sources_of(algorithm, nullptr, base, nullptr, flags);
    json_writer w;
    w.begin_object().key("variables").begin_array();
    for (const std::string& name : variable_names(s.file)) w.value(cp1252_to_utf8(name));
    w.end_array();
    if (message != nullptr) {
      std::string text;
      try {
        text = to_engine(message, encoding_of(flags));
      } catch (const encoding_error& e) {
        throw call_error{std::string("message: ") + e.what()};
      }
      std::size_t level = 0;
      int line = s.file.line_of_message(text);
      if (line == 0 && s.base) {
        line = s.base->line_of_message(text);
        if (line != 0) level = 1;
      }
      w.key("place").begin_object().field("source", source_of(level)).field("line", line);
      const std::size_t colon = text.find(": ");
      const std::string name = colon == std::string::npos ? std::string() : text.substr(0, colon);
      bool defined = false;
      for (const algorithm_file* f : {&s.file, s.base_file()}) {
        defined = defined || (f != nullptr && !name.empty() &&
                              (f->line_of_name(name) != 0 || f->line_of_name(name, true) != 0));
      }
      w.key("variable");
      if (defined) {
        w.value(cp1252_to_utf8(name));
      } else {
        w.null();
      }
      w.end_object();
    }
    return w.end_object().take();
  });
}

ZEKALG_TOOLS_API char* zekalg_tools_grade(const char* algorithm, const char* path, const char* base,
                                          const char* base_path, int64_t seed,
                                          const char* responses, int32_t flags) {
  return answer([&] {
    const sources s = sources_of(algorithm, path, base, base_path, flags);
    const uint32_t chosen = variant_seed(seed);
    std::optional<std::vector<std::string>> typed;
    if (responses != nullptr) {
      // One per line, each as typed (an empty line too); "" holds none.
      typed = text_lines(responses);
      if (encoding_of(flags) == encoding::cp1252) {
        for (std::string& one : *typed) one = cp1252_to_utf8(one);
      }
    }
    return grade_json(s.file, s.base_file(), chosen, typed,
                      (flags & ZEKALG_TOOLS_ASCII_MINUS) != 0);
  });
}

ZEKALG_TOOLS_API uint32_t zekalg_tools_row_seed(uint64_t seed, uint64_t row) {
  return row_seed(seed, row);
}

ZEKALG_TOOLS_API void zekalg_tools_free(char* answer) { std::free(answer); }

}  // extern "C"
