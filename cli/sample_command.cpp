#include "sample_command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "algorithm_file.h"
#include "solve_command.h"
#include "variable_report.h"
#include "zekalg/zekalg.hpp"

namespace cli {
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

// Display columns of a UTF-8 text (one per code point; enough for the
// code page's characters).
std::size_t columns(const std::string& utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string pad(const std::string& text, std::size_t width) {
  const std::size_t w = columns(text);
  return w >= width ? text : text + std::string(width - w, ' ');
}

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string percent(int64_t part, int64_t whole) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%5.1f%%",
                whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
  return buffer;
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

constexpr int kBarWidth = 30;
constexpr std::size_t kMaxBins = 10;
// Integer values up to this many distinct ones get a bar each.
constexpr std::size_t kMaxIntegerBars = 20;

std::string bar(int64_t count, int64_t largest) {
  const auto cells = largest > 0 ? static_cast<std::size_t>(std::lround(
                                       kBarWidth * static_cast<double>(count) /
                                       static_cast<double>(largest)))
                                 : 0;
  return std::string(std::max<std::size_t>(cells, count > 0 ? 1 : 0), '#');
}

bool is_whole(double x) { return std::fabs(x) < 9007199254740992.0 && x == std::floor(x); }

std::string whole_label(double x) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.0f", x);
  return buffer;
}

// What the summary shows of one variable's values: its range and a bar per
// value (few distinct numbers, integers up to kMaxIntegerBars), per range of
// values (more numbers) or per text (the most frequent ones).
struct histogram {
  std::string header;  // "3 .. 14, 5 distinct values"
  nlohmann::json data;  // the same for JSON: kind, distinct, min, max, bars
  std::vector<std::pair<std::string, int64_t>> bars;  // label, count
};

histogram histogram_of(const std::unordered_map<std::string, int64_t>& counts, encoding enc) {
  using nlohmann::json;
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
  const std::string distinct = std::to_string(counts.size()) + " distinct value" +
                               (counts.size() == 1 ? "" : "s");
  h.data["distinct"] = counts.size();
  json bars = json::array();
  if (numeric && !numbers.empty()) {
    std::sort(numbers.begin(), numbers.end());
    const double lo = numbers.front().first;
    const double hi = numbers.back().first;
    h.header = number_label(lo) + " .. " + number_label(hi) + ", " + distinct;
    h.data["min"] = lo;
    h.data["max"] = hi;
    const bool whole = std::all_of(numbers.begin(), numbers.end(),
                                   [](const auto& entry) { return is_whole(entry.first); });
    if (whole ? numbers.size() <= kMaxIntegerBars : numbers.size() <= kMaxBins) {
      h.data["kind"] = "values";
      for (const auto& [x, n] : numbers) {
        h.bars.emplace_back(whole ? whole_label(x) : number_label(x), n);
        bars.push_back({{"label", h.bars.back().first},
                        {"value", whole ? json(static_cast<int64_t>(x)) : json(x)},
                        {"count", n}});
      }
    } else {
      h.data["kind"] = "bins";
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
        h.bars.emplace_back(number_label(from) + " .. " + number_label(to), bins[k]);
        bars.push_back({{"label", h.bars.back().first},
                        {"from", from},
                        {"to", to},
                        {"count", bins[k]}});
      }
    }
  } else {
    std::vector<std::pair<std::string, int64_t>> texts(counts.begin(), counts.end());
    std::sort(texts.begin(), texts.end(), [](const auto& a, const auto& b) {
      return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    h.header = "text, " + distinct;
    h.data["kind"] = "text";
    const std::size_t shown = std::min(texts.size(), kMaxBins);
    for (std::size_t k = 0; k < shown; ++k) {
      h.bars.emplace_back(enclosed("\"", from_engine(texts[k].first, enc), "\""),
                          texts[k].second);
      bars.push_back({{"label", h.bars.back().first},
                      {"value", cp1252_to_utf8(texts[k].first)},
                      {"count", texts[k].second}});
    }
    if (texts.size() > shown) {
      int64_t rest = 0;
      for (std::size_t k = shown; k < texts.size(); ++k) rest += texts[k].second;
      h.bars.emplace_back(enclosed("(", std::to_string(texts.size() - shown), " more)"), rest);
      bars.push_back({{"label", h.bars.back().first},
                      {"more", texts.size() - shown},
                      {"count", rest}});
    }
  }
  h.data["bars"] = std::move(bars);
  return h;
}

// The range and a small histogram of one variable's values.
void summarise_variable(const std::string& name, const histogram& h, int64_t total,
                        encoding enc, std::ostream& os) {
  os << from_engine(name, enc) << ": " << h.header << '\n';
  std::size_t label_width = 0;
  int64_t largest = 0;
  for (const auto& [label, n] : h.bars) {
    label_width = std::max(label_width, columns(label));
    largest = std::max(largest, n);
  }
  for (const auto& [label, n] : h.bars) {
    os << "  " << std::string(label_width - columns(label), ' ') << label << "  "
       << percent(n, total) << "  " << bar(n, largest) << '\n';
  }
}

class progress_bar {
 public:
  progress_bar(std::ostream& os, bool on, int64_t total) : os_(os), on_(on), total_(total) {}
  void update(int64_t done) {
    if (!on_) return;
    const auto now = std::chrono::steady_clock::now();
    if (done < total_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    constexpr int kWidth = 40;
    const auto filled = static_cast<int>(kWidth * done / std::max<int64_t>(total_, 1));
    os_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
        << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << done << '/'
        << total_ << std::flush;
  }
  void finish() {
    if (on_) os_ << "\r" << std::string(60 + std::to_string(total_).size() * 2, ' ') << "\r"
                 << std::flush;
  }

 private:
  std::ostream& os_;
  bool on_;
  int64_t total_;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace

uint32_t row_seed(uint64_t base, uint64_t row) {
  uint64_t z = base + 0x9E3779B97F4A7C15ull * row;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
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
                              const sample_guard& keep_going) {
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
  std::vector<solved_name> solved;
  std::string result;
  std::string joined;
  const auto started = std::chrono::steady_clock::now();
  const auto note = [](failure_kind& kind, int64_t row, uint32_t row_seed) {
    if (kind.count++ == 0) {
      kind.first_row = row;
      kind.first_seed = row_seed;
    }
  };

  std::size_t held = 0;  // bytes of the values of the rows kept
  for (int64_t row = 1; row <= count && !sample.stopped; ++row) {
    if (keep_going && !keep_going(row - 1, held)) {
      sample.stopped = true;
      break;
    }
    const uint32_t seed_of_row = row_seed(seed, static_cast<uint64_t>(row));
    // Seeded, then the base and the variant built on it, as solve does, so
    // that the row's seed brings back the base's draws too.
    zekalg::seed(seed_of_row);
    zekalg::environment base;
    zekalg::environment env;
    if (const std::optional<placed_message> failure =
            create_environments(file, base_file, base, env)) {
      note(creation_failures[{failure->level, failure->message}], row, seed_of_row);
      continue;
    }
    sample_row v{row, seed_of_row, {}};
    v.values.reserve(sample.names.size());
    solved.clear();
    bool failed = false;
    std::size_t row_bytes = 0;
    for (const std::string& name : sample.names) {
      if (keep_going && !keep_going(row - 1, held + row_bytes)) {
        sample.stopped = true;
        break;
      }
      try {
        env.solve_into(name, result);
        row_bytes += result.size();
      } catch (const zekalg::error& e) {
        failed = true;
        solved.push_back({name, e.what()});
        continue;
      }
      v.values.push_back(result);
      solved.push_back({name, std::nullopt});
    }
    if (sample.stopped) break;
    if (failed) {
      const failure_report report = explain_failures(env, files, solved);
      for (const variable_error& e : report.errors) {
        failure_kind& kind = variable_failures[{-static_cast<int>(e.level), e.line, e.message}];
        if (kind.count == 0) kind.name = e.name;
        note(kind, row, seed_of_row);
      }
      for (const std::string& name : report.cascade) ++cascade_counts[name];
      if (!report.cascade.empty()) ++sample.cascade_rows;
      continue;
    }
    joined.clear();
    for (std::size_t j = 0; j < sample.names.size(); ++j) {
      ++sample.counts[j][v.values[j]];
      joined += v.values[j];
      joined += '\x1f';
    }
    distinct.insert(joined);
    held += row_bytes;
    sample.rows.push_back(std::move(v));
  }
  sample.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  sample.distinct = static_cast<int64_t>(distinct.size());
  for (const auto& [key, kind] : creation_failures) {
    const algorithm_file& at = *files[std::min(key.first, files.size() - 1)];
    sample.creation_failures.push_back({key.first, at.line_of_message(key.second), key.second,
                                        "", kind.count, kind.first_row, kind.first_seed});
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

nlohmann::json sample_json(const sample_result& sample, const algorithm_file& file,
                           const algorithm_file* base_file) {
  using nlohmann::json;
  const auto path_at = [&](std::size_t level) {
    return level > 0 && base_file != nullptr ? base_file->path : file.path;
  };
  const auto made = static_cast<int64_t>(sample.rows.size());
  json doc;
  doc["file"] = file.path;
  if (base_file != nullptr) doc["base"] = base_file->path;
  doc["seed"] = sample.seed;
  json vars = json::array();
  for (const std::string& n : sample.names) vars.push_back(cp1252_to_utf8(n));
  doc["variables"] = vars;
  json rows = json::array();
  for (const sample_row& v : sample.rows) {
    json values = json::object();
    for (std::size_t j = 0; j < sample.names.size(); ++j) {
      values[cp1252_to_utf8(sample.names[j])] = cp1252_to_utf8(v.values[j]);
    }
    rows.push_back({{"row", v.row}, {"seed", v.seed}, {"values", values}});
  }
  doc["variants"] = rows;
  json fails = json::array();
  // Both kinds of failure share their fields; a variable's also names it.
  const auto failure = [&](const sample_failure& f, const char* kind) {
    return json{{"message", cp1252_to_utf8(f.message)},
                {"count", f.count},
                {"first_row", f.first_row},
                {"first_seed", f.first_seed},
                {"kind", kind},
                {"file", path_at(f.level)},
                {"line", f.line}};
  };
  for (const sample_failure& f : sample.creation_failures) fails.push_back(failure(f, "creation"));
  for (const sample_failure& f : sample.variable_failures) {
    json entry = failure(f, "variable");
    entry["variable"] = cp1252_to_utf8(f.variable);
    fails.push_back(std::move(entry));
  }
  doc["failures"] = fails;
  json cascaded = json::array();
  for (const auto& [name, n] : sample.cascade) {
    cascaded.push_back({{"variable", cp1252_to_utf8(name)}, {"count", n}});
  }
  doc["cascade"] = cascaded;
  json histograms = json::object();
  if (made > 0) {
    for (std::size_t j = 0; j < sample.names.size(); ++j) {
      histograms[cp1252_to_utf8(sample.names[j])] =
          histogram_of(sample.counts[j], encoding::utf8).data;
    }
  }
  doc["histograms"] = histograms;
  doc["summary"] = {{"made", made}, {"failed", sample.count - made}, {"distinct", sample.distinct}};
  return doc;
}

int run_sample(const sample_options& options, std::ostream& out, std::ostream& err) {
  const algorithm_file file = load_algorithm_file(options.file, options.enc);
  if (options.count < 1) throw command_error("-n: the count must be at least 1");
  std::optional<algorithm_file> base_file;
  if (!options.base_file.empty()) base_file = load_algorithm_file(options.base_file, options.enc);
  std::vector<const algorithm_file*> files{&file};
  if (base_file) files.push_back(&*base_file);

  std::vector<std::string> wanted;
  for (const std::string& name : options.vars) {
    try {
      wanted.push_back(to_engine(name, options.enc));
    } catch (const encoding_error& e) {
      throw command_error("--vars: " + std::string(e.what()));
    }
  }
  std::size_t missing = 0;
  std::optional<std::vector<std::string>> chosen = sample_variables(file, wanted, missing);
  if (!chosen) {
    throw command_error(file.path + ": --vars: no variable '" + options.vars[missing] +
                        "' is defined");
  }
  if (base_file) print_name_traps(*base_file, options.enc, err);
  print_name_traps(file, options.enc, err);

  const uint64_t base_seed = options.seed ? static_cast<uint64_t>(*options.seed)
                                          : static_cast<uint64_t>(std::random_device{}());
  progress_bar progress(err, options.progress, options.count);
  const sample_result sample = sample_variants(
      file, base_file ? &*base_file : nullptr, std::move(*chosen), options.count, base_seed,
      [&](int64_t done, std::size_t) {
        progress.update(done);
        return true;
      });
  progress.update(options.count);
  progress.finish();
  const double seconds = sample.seconds;
  const std::vector<std::string>& names = sample.names;
  const std::vector<sample_row>& variants = sample.rows;

  const encoding enc = options.enc;
  const auto made = static_cast<int64_t>(variants.size());
  const int64_t failed = options.count - made;
  const auto file_at = [&](std::size_t level) { return level < files.size() ? files[level] : files[0]; };
  std::string again = "zekalg solve " + file.path;
  if (base_file) again += " --base " + base_file->path;
  again += " --seed ";

  if (options.format == sample_format::json) {
    out << sample_json(sample, file, base_file ? &*base_file : nullptr).dump(1) << '\n';
  } else if (options.format == sample_format::csv) {
    out << "row,seed";
    for (const std::string& n : names) out << ',' << csv_field(from_engine(n, enc));
    out << '\n';
    for (const sample_row& v : variants) {
      out << v.row << ',' << v.seed;
      for (const std::string& value : v.values) out << ',' << csv_field(from_engine(value, enc));
      out << '\n';
    }
  } else {
    std::vector<std::string> header{"row", "seed"};
    for (const std::string& n : names) header.push_back(from_engine(n, enc));
    std::vector<std::size_t> widths;
    for (const std::string& h : header) widths.push_back(columns(h));
    widths[0] = std::max(widths[0], std::to_string(options.count).size());
    widths[1] = std::max<std::size_t>(widths[1], 10);
    std::vector<std::vector<std::string>> shown;
    shown.reserve(variants.size());
    for (const sample_row& v : variants) {
      std::vector<std::string> cells;
      cells.reserve(v.values.size());
      for (std::size_t j = 0; j < v.values.size(); ++j) {
        cells.push_back(from_engine(v.values[j], enc));
        widths[j + 2] = std::max(widths[j + 2], columns(cells.back()));
      }
      shown.push_back(std::move(cells));
    }
    std::string line;
    for (std::size_t j = 0; j < header.size(); ++j) {
      line += pad(header[j], j + 1 < header.size() ? widths[j] + 2 : 0);
    }
    out << line << '\n';
    for (std::size_t i = 0; i < variants.size(); ++i) {
      line = pad(std::to_string(variants[i].row), widths[0] + 2) +
             pad(std::to_string(variants[i].seed), widths[1] + 2);
      for (std::size_t j = 0; j < shown[i].size(); ++j) {
        line += j + 1 < shown[i].size() ? pad(shown[i][j], widths[j + 2] + 2) : shown[i][j];
      }
      out << line << '\n';
    }
    out << '\n';
  }

  std::ostream& summary = options.format == sample_format::table ? out : err;
  summary << "variants: " << made << " made, " << failed << " failed, " << sample.distinct
          << " distinct (" << options.count << " from seed " << base_seed << ", ";
  char rate[64];
  std::snprintf(rate, sizeof rate, "%.2f s, %.0f per second)", seconds,
                seconds > 0 ? static_cast<double>(options.count) / seconds : 0.0);
  summary << rate << '\n';
  if (!sample.creation_failures.empty()) {
    summary << "failed creations:\n";
    for (const sample_failure& f : sample.creation_failures) {
      summary << "  " << f.count << " x " << file_at(f.level)->where(f.line)
              << from_engine(f.message, enc) << " (first in row " << f.first_row << ": "
              << again << f.first_seed << ")\n";
    }
  }
  if (!sample.variable_failures.empty()) {
    summary << "failing variables:\n";
    for (const sample_failure& f : sample.variable_failures) {
      summary << "  " << f.count << " x " << file_at(f.level)->where(f.line)
              << from_engine(f.message, enc) << " (first in row " << f.first_row << ": "
              << again << f.first_seed << ")\n";
    }
    if (!sample.cascade.empty()) {
      std::vector<std::string> cascade;
      for (const auto& entry : sample.cascade) cascade.push_back(entry.first);
      const int64_t rows = sample.cascade_rows;
      summary << "  note: " << cascade_sentence(cascade, sample.variable_failures.size(), enc)
              << ", in " << rows << " row" << (rows == 1 ? "" : "s") << " (a host that solves "
              << (cascade.size() == 1 ? "it" : "them") << " gets the row's first error)\n";
    }
  }
  if (made > 0) {
    for (std::size_t j = 0; j < names.size(); ++j) {
      summarise_variable(names[j], histogram_of(sample.counts[j], enc), made, enc, summary);
    }
  }
  return made > 0 ? 0 : 1;
}

}  // namespace cli
