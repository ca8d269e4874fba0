#include "tools/sampling.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numeric>
#include <random>
#include <thread>
#include <tuple>
#include <unordered_set>

#include "tools/json_writer.h"
#include "tools/ordered_work.h"
#include "tools/variable_report.h"
#include "tools/variant.h"
#include "zekalg/zekalg.hpp"

namespace tools {
namespace {

struct failure_kind {
  int64_t count = 0;
  int64_t first_row = 0;
  uint32_t first_seed = 0;
  std::string name;  // of a variable's error: the variable that met it first
};

// Where a variable's error is told: minus the level (base files first), the
// line, the message.
using failure_place = std::tuple<int, int, std::string>;

// The number a result text shows, when it shows one: grouping commas go and
// the en dash reads as minus.
std::optional<double> number_in(const std::string& text) {
  std::string plain;
  plain.reserve(text.size());
  for (const char c : text) {
    if (c == ',') continue;
    plain += c == static_cast<char>(150) ? '-' : c;
  }
  if (plain.empty()) return std::nullopt;
  char* end = nullptr;
  const double x = std::strtod(plain.c_str(), &end);
  if (end != plain.c_str() + plain.size() || !std::isfinite(x)) return std::nullopt;
  return x;
}

std::string number_label(double x) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.6g", x);
  return buffer;
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) about "x" + string.
std::string enclosed(const char* before, const std::string& middle, const char* after) {
  std::string text(before);
  text += middle;
  text += after;
  return text;
}

constexpr std::size_t kMaxBins = 10;
// Numbers up to this many distinct ones get a bar each.
constexpr std::size_t kMaxValueBars = 30;
// A grid finer than this many points between the smallest and the largest
// value is no grid a draw was made on.
constexpr double kMaxGridPoints = 1e7;

// The step of the grid the values lie on (the largest step that every
// difference to the smallest value is a whole multiple of), when there is
// one with at most six decimals.
std::optional<double> grid_step(const std::vector<std::pair<double, int64_t>>& numbers) {
  const double lo = numbers.front().first;
  const double hi = numbers.back().first;
  if (!(hi > lo)) return std::nullopt;
  double scale = 1;
  for (int decimals = 0; decimals <= 6; ++decimals, scale *= 10) {
    if ((hi - lo) * scale > 9e15) return std::nullopt;
    uint64_t common = 0;
    bool on_grid = true;
    for (const auto& [x, n] : numbers) {
      const double units = (x - lo) * scale;
      const double nearest = std::round(units);
      if (std::fabs(units - nearest) > 1e-6 * std::max(1.0, nearest)) {
        on_grid = false;
        break;
      }
      common = std::gcd(common, static_cast<uint64_t>(nearest));
    }
    if (!on_grid || common == 0) continue;
    const double step = static_cast<double>(common) / scale;
    if ((hi - lo) / step + 1 > kMaxGridPoints) return std::nullopt;
    return step;
  }
  return std::nullopt;
}

bool is_whole(double x) { return std::fabs(x) < 9007199254740992.0 && x == std::floor(x); }

std::string whole_label(double x) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.0f", x);
  return buffer;
}

// One row as a thread makes it, before it is counted.
struct row_outcome {
  int64_t row = 0;
  uint32_t seed = 0;
  std::optional<placed_message> creation_error;
  std::vector<std::string> values;
  failure_report report;  // when a variable failed
  bool failed = false;
  bool stopped = false;
  std::size_t bytes = 0;
};

// Makes one row; `keep_going` is asked before each value with the bytes of
// the row so far.
void make_row(row_outcome& out, const algorithm_file& file, const algorithm_file* base_file,
              const std::vector<const algorithm_file*>& files,
              const std::vector<std::string>& names,
              const std::function<bool(std::size_t)>& keep_going) {
  // Seeded, then the base and the variant built on it, as solve does, so
  // that the row's seed brings back the base's draws too.
  zekalg::seed(out.seed);
  zekalg::environment base;
  zekalg::environment env;
  out.creation_error = create_environments(file, base_file, base, env);
  if (out.creation_error) return;
  out.values.reserve(names.size());
  std::vector<solved_name> solved;
  std::string result;
  for (const std::string& name : names) {
    if (keep_going && !keep_going(out.bytes)) {
      out.stopped = true;
      return;
    }
    try {
      env.solve_into(name, result);
      out.bytes += result.size();
    } catch (const zekalg::error& e) {
      out.failed = true;
      solved.push_back({name, e.what()});
      continue;
    }
    out.values.push_back(result);
    solved.push_back({name, std::nullopt});
  }
  if (out.failed) out.report = explain_failures(env, files, solved);
}

}  // namespace

uint32_t row_seed(uint64_t base, uint64_t row) {
  uint64_t z = base + 0x9E3779B97F4A7C15ull * row;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

uint32_t random_seed() {
  thread_local std::mt19937 generator{std::random_device{}()};
  return static_cast<uint32_t>(generator());
}

int sample_threads(int threads) {
  if (threads > 0) return threads;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? static_cast<int>(std::min(cores, 256u)) : 1;
}

std::optional<std::vector<std::string>> sample_variables(const algorithm_file& file,
                                                         const std::vector<std::string>& wanted,
                                                         std::size_t& missing) {
  std::vector<std::string> names = variable_names(file);
  if (wanted.empty()) return names;
  std::vector<std::string> chosen;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    const auto it = std::find_if(names.begin(), names.end(), [&](const std::string& n) {
      return lowered(n) == lowered(wanted[i]);
    });
    if (it == names.end()) {
      missing = i;
      return std::nullopt;
    }
    chosen.push_back(*it);
  }
  return chosen;
}

sample_result sample_variants(const algorithm_file& file, const algorithm_file* base_file,
                              std::vector<std::string> names, int64_t count, uint64_t seed,
                              const sample_guard& keep_going, int threads, int64_t first_row) {
  threads =
      static_cast<int>(std::min<int64_t>(sample_threads(threads), std::max<int64_t>(count, 1)));
  std::vector<const algorithm_file*> files{&file};
  if (base_file != nullptr) files.push_back(base_file);
  sample_result sample;
  sample.seed = seed;
  sample.count = count;
  sample.names = std::move(names);
  sample.rows.reserve(static_cast<std::size_t>(std::min<int64_t>(count, 1 << 20)));
  std::map<std::pair<std::size_t, std::string>, failure_kind> creation_failures;  // level, message
  std::map<failure_place, failure_kind> variable_failures;
  std::map<std::string, int64_t> cascade_counts;  // by name
  sample.counts.resize(sample.names.size());
  std::unordered_set<std::string> distinct;
  std::string joined;
  const auto started = std::chrono::steady_clock::now();
  const auto note = [](failure_kind& kind, int64_t row, uint32_t row_seed) {
    if (kind.count++ == 0) {
      kind.first_row = row;
      kind.first_seed = row_seed;
    }
  };

  std::size_t held = 0;  // bytes of the values of the rows kept
  // Counts a finished row, in row order.
  const auto take = [&](row_outcome& o) {
    if (o.creation_error) {
      note(creation_failures[{o.creation_error->level, o.creation_error->message}], o.row, o.seed);
      return;
    }
    if (o.failed) {
      for (const variable_error& e : o.report.errors) {
        failure_kind& kind = variable_failures[{-static_cast<int>(e.level), e.line, e.message}];
        if (kind.count == 0) kind.name = e.name;
        note(kind, o.row, o.seed);
      }
      for (const std::string& name : o.report.cascade) ++cascade_counts[name];
      if (!o.report.cascade.empty()) ++sample.cascade_rows;
      return;
    }
    joined.clear();
    for (std::size_t j = 0; j < sample.names.size(); ++j) {
      ++sample.counts[j][o.values[j]];
      joined += o.values[j];
      joined += '\x1f';
    }
    distinct.insert(joined);
    held += o.bytes;
    sample.rows.push_back({o.row, o.seed, std::move(o.values)});
  };

  if (threads <= 1) {
    row_outcome o;
    for (int64_t row = first_row; row < first_row + count; ++row) {
      if (keep_going && !keep_going(row - first_row, held)) {
        sample.stopped = true;
        break;
      }
      o = row_outcome{};
      o.row = row;
      o.seed = row_seed(seed, static_cast<uint64_t>(row));
      make_row(o, file, base_file, files, sample.names, [&](std::size_t bytes) {
        return !keep_going || keep_going(row - first_row, held + bytes);
      });
      if (o.stopped) {
        sample.stopped = true;
        break;
      }
      take(o);
    }
  } else {
    // The rows are counted in row order, so the result does not depend on
    // the number of threads. The guard is asked on this thread only: before
    // each row it takes, and before each value of the rows it makes itself
    // while it waits for the others.
    const std::thread::id caller = std::this_thread::get_id();
    make_in_order<row_outcome>(
        count, threads,
        [&](int64_t index, row_outcome& o, const std::atomic<bool>& stop) {
          o.row = first_row + index;
          o.seed = row_seed(seed, static_cast<uint64_t>(o.row));
          const bool guarded = keep_going && std::this_thread::get_id() == caller;
          make_row(o, file, base_file, files, sample.names, [&](std::size_t bytes) {
            return !stop.load(std::memory_order_relaxed) &&
                   (!guarded || keep_going(o.row - first_row, held + bytes));
          });
        },
        [&](row_outcome& o) {
          if (o.stopped || (keep_going && !keep_going(o.row - first_row, held))) {
            sample.stopped = true;
            return false;
          }
          take(o);
          return true;
        });
  }
  sample.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  sample.distinct = static_cast<int64_t>(distinct.size());
  for (const auto& [key, kind] : creation_failures) {
    const algorithm_file& at = *files[std::min(key.first, files.size() - 1)];
    sample.creation_failures.push_back({key.first, at.line_of_message(key.second), key.second, "",
                                        kind.count, kind.first_row, kind.first_seed});
  }
  for (const auto& [place, kind] : variable_failures) {
    sample.variable_failures.push_back({static_cast<std::size_t>(-std::get<0>(place)),
                                        std::get<1>(place), std::get<2>(place), kind.name,
                                        kind.count, kind.first_row, kind.first_seed});
  }
  for (const std::string& n : sample.names) {
    const auto it = cascade_counts.find(n);
    if (it != cascade_counts.end()) sample.cascade.emplace_back(n, it->second);
  }
  return sample;
}

histogram histogram_of(const std::unordered_map<std::string, int64_t>& counts) {
  std::vector<std::pair<double, int64_t>> numbers;
  bool numeric = true;
  for (const auto& [text, n] : counts) {
    const auto x = number_in(text);
    if (!x) {
      numeric = false;
      break;
    }
    numbers.emplace_back(*x, n);
  }
  histogram h;
  h.distinct = counts.size();
  const std::string distinct =
      std::to_string(counts.size()) + " distinct value" + (counts.size() == 1 ? "" : "s");
  if (numeric && !numbers.empty()) {
    std::sort(numbers.begin(), numbers.end());
    const double lo = numbers.front().first;
    const double hi = numbers.back().first;
    h.header = number_label(lo) + " .. " + number_label(hi) + ", " + distinct;
    h.min = lo;
    h.max = hi;
    const bool whole = std::all_of(numbers.begin(), numbers.end(),
                                   [](const auto& entry) { return is_whole(entry.first); });
    if (numbers.size() <= kMaxValueBars) {
      h.kind = "values";
      for (const auto& [x, n] : numbers) {
        histogram_bar& b = h.bars.emplace_back();
        b.label = whole ? whole_label(x) : number_label(x);
        b.count = n;
        b.value = x;
        b.whole = whole;
      }
    } else if (const std::optional<double> step = grid_step(numbers)) {
      // Ranges of whole steps of the values' grid, sizes differing by at
      // most one step, so that a uniform draw gives bars of equal height.
      h.kind = "bins";
      const auto points = static_cast<int64_t>(std::llround((hi - lo) / *step)) + 1;
      const int64_t per_bin = (points + kMaxBins - 1) / static_cast<int64_t>(kMaxBins);
      const int64_t bins = (points + per_bin - 1) / per_bin;
      const auto first_point = [&](int64_t k) { return k * points / bins; };
      std::vector<int64_t> counted(static_cast<std::size_t>(bins), 0);
      int64_t k = 0;
      for (const auto& [x, n] : numbers) {
        const int64_t point = std::llround((x - lo) / *step);
        while (k + 1 < bins && point >= first_point(k + 1)) ++k;
        counted[static_cast<std::size_t>(k)] += n;
      }
      for (int64_t b = 0; b < bins; ++b) {
        const double from = lo + static_cast<double>(first_point(b)) * *step;
        const double to =
            b + 1 == bins ? hi : lo + static_cast<double>(first_point(b + 1) - 1) * *step;
        histogram_bar& bar = h.bars.emplace_back();
        bar.label = number_label(from) + " .. " + number_label(to);
        bar.count = counted[static_cast<std::size_t>(b)];
        bar.from = from;
        bar.to = to;
      }
    } else {
      h.kind = "bins";
      std::vector<int64_t> bins(kMaxBins, 0);
      const double width = (hi - lo) / static_cast<double>(kMaxBins);
      for (const auto& [x, n] : numbers) {
        const auto k = width > 0 ? static_cast<std::size_t>((x - lo) / width) : 0;
        bins[std::min(k, kMaxBins - 1)] += n;
      }
      // A bin edge that lands next to 0 through rounding is 0 (not -4.4e-16).
      const auto edge = [&](double x) { return std::fabs(x) < width * 1e-9 ? 0.0 : x; };
      for (std::size_t k = 0; k < kMaxBins; ++k) {
        const double from = edge(lo + width * static_cast<double>(k));
        const double to = k + 1 == kMaxBins ? hi : edge(from + width);
        histogram_bar& b = h.bars.emplace_back();
        b.label = number_label(from) + " .. " + number_label(to);
        b.count = bins[k];
        b.from = from;
        b.to = to;
      }
    }
  } else {
    std::vector<std::pair<std::string, int64_t>> texts(counts.begin(), counts.end());
    std::sort(texts.begin(), texts.end(), [](const auto& a, const auto& b) {
      return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    h.header = "text, " + distinct;
    h.kind = "text";
    const std::size_t shown = std::min(texts.size(), kMaxBins);
    for (std::size_t k = 0; k < shown; ++k) {
      histogram_bar& b = h.bars.emplace_back();
      b.label = enclosed("\"", texts[k].first, "\"");
      b.count = texts[k].second;
      b.text = texts[k].first;
    }
    if (texts.size() > shown) {
      int64_t rest = 0;
      for (std::size_t k = shown; k < texts.size(); ++k) rest += texts[k].second;
      histogram_bar& b = h.bars.emplace_back();
      b.label = enclosed("(", std::to_string(texts.size() - shown), " more)");
      b.count = rest;
      b.more = static_cast<int64_t>(texts.size() - shown);
    }
  }
  return h;
}

std::string sample_json(const sample_result& sample, const algorithm_file& file,
                        const algorithm_file* base_file, bool ascii_minus, int indent,
                        bool row_arrays) {
  const auto path_at = [&](std::size_t level) {
    return level > 0 && base_file != nullptr ? base_file->path : file.path;
  };
  const auto shown = [&](const std::string& engine) { return shown_text(engine, ascii_minus); };
  const auto made = static_cast<int64_t>(sample.rows.size());
  json_writer w(indent);
  w.begin_object();
  w.field("file", file.path);
  if (base_file != nullptr) w.field("base", base_file->path);
  w.field("seed", sample.seed);
  w.key("variables").begin_array();
  for (const std::string& n : sample.names) w.value(cp1252_to_utf8(n));
  w.end_array();
  w.key(row_arrays ? "rows" : "variants").begin_array();
  std::vector<std::string> keys;
  for (const std::string& n : sample.names) keys.push_back(cp1252_to_utf8(n));
  for (const sample_row& v : sample.rows) {
    if (row_arrays) {
      w.begin_array().value(v.row).value(v.seed);
      for (const std::string& value : v.values) w.value(shown(value));
      w.end_array();
      continue;
    }
    w.begin_object().field("row", v.row).field("seed", v.seed).key("values").begin_object();
    for (std::size_t j = 0; j < keys.size(); ++j) w.field(keys[j], shown(v.values[j]));
    w.end_object().end_object();
  }
  w.end_array();
  w.key("failures").begin_array();
  // Both kinds of failure share their fields; a variable's also names it.
  const auto failure = [&](const sample_failure& f, const char* kind) {
    w.begin_object().field("kind", kind);
    if (*kind == 'v') w.field("variable", cp1252_to_utf8(f.variable));
    w.field("message", cp1252_to_utf8(f.message))
        .field("count", f.count)
        .field("first_row", f.first_row)
        .field("first_seed", f.first_seed)
        .field("file", path_at(f.level))
        .field("line", f.line)
        .end_object();
  };
  for (const sample_failure& f : sample.creation_failures) failure(f, "creation");
  for (const sample_failure& f : sample.variable_failures) failure(f, "variable");
  w.end_array();
  w.key("cascade").begin_array();
  for (const auto& [name, n] : sample.cascade) {
    w.begin_object().field("variable", cp1252_to_utf8(name)).field("count", n).end_object();
  }
  w.end_array();
  w.key("histograms").begin_object();
  for (std::size_t j = 0; made > 0 && j < sample.names.size(); ++j) {
    const histogram h = histogram_of(sample.counts[j]);
    w.key(cp1252_to_utf8(sample.names[j])).begin_object();
    w.field("kind", h.kind).field("distinct", static_cast<uint64_t>(h.distinct));
    if (h.min) w.field("min", *h.min).field("max", *h.max);
    w.key("bars").begin_array();
    for (const histogram_bar& b : h.bars) {
      w.begin_object().field("label", shown(b.label));
      if (h.kind == "values") {
        if (b.whole) {
          w.field("value", static_cast<int64_t>(b.value));
        } else {
          w.field("value", b.value);
        }
      } else if (h.kind == "bins") {
        w.field("from", b.from).field("to", b.to);
      } else if (b.more > 0) {
        w.field("more", b.more);
      } else {
        w.field("value", shown(b.text));
      }
      w.field("count", b.count).end_object();
    }
    w.end_array().end_object();
  }
  w.end_object();
  w.key("summary")
      .begin_object()
      .field("made", made)
      .field("failed", sample.count - made)
      .field("distinct", sample.distinct)
      .end_object();
  w.field("seconds", sample.seconds);
  w.end_object();
  return w.take();
}

}  // namespace tools
