#include "sample_command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <unordered_map>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "algorithm_file.h"
#include "solve_command.h"
#include "zekalg/zekalg.hpp"

namespace cli {
namespace {

struct variant {
  int64_t row;
  uint32_t seed;
  std::vector<std::string> values;  // engine bytes
};

struct failure_kind {
  int64_t count = 0;
  int64_t first_row = 0;
  uint32_t first_seed = 0;
};

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

std::string bar(int64_t count, int64_t largest) {
  const auto cells = largest > 0 ? static_cast<std::size_t>(std::lround(
                                       kBarWidth * static_cast<double>(count) /
                                       static_cast<double>(largest)))
                                 : 0;
  return std::string(std::max<std::size_t>(cells, count > 0 ? 1 : 0), '#');
}

// The range and a small histogram of one variable's values.
void summarise_variable(const std::string& name, const std::unordered_map<std::string, int64_t>& counts,
                        int64_t total, encoding enc, std::ostream& os) {
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
  os << from_engine(name, enc) << ": ";
  std::vector<std::pair<std::string, int64_t>> lines;
  if (numeric && !numbers.empty()) {
    std::sort(numbers.begin(), numbers.end());
    const double lo = numbers.front().first;
    const double hi = numbers.back().first;
    os << number_label(lo) << " .. " << number_label(hi) << ", " << counts.size()
       << " distinct value" << (counts.size() == 1 ? "" : "s") << '\n';
    if (numbers.size() <= kMaxBins) {
      for (const auto& [x, n] : numbers) lines.emplace_back(number_label(x), n);
    } else {
      std::vector<int64_t> bins(kMaxBins, 0);
      const double width = (hi - lo) / static_cast<double>(kMaxBins);
      for (const auto& [x, n] : numbers) {
        const auto k = width > 0 ? static_cast<std::size_t>((x - lo) / width) : 0;
        bins[std::min(k, kMaxBins - 1)] += n;
      }
      for (std::size_t k = 0; k < kMaxBins; ++k) {
        const double from = lo + width * static_cast<double>(k);
        lines.emplace_back(number_label(from) + " .. " +
                               number_label(k + 1 == kMaxBins ? hi : from + width),
                           bins[k]);
      }
    }
  } else {
    std::vector<std::pair<std::string, int64_t>> texts(counts.begin(), counts.end());
    std::sort(texts.begin(), texts.end(), [](const auto& a, const auto& b) {
      return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    os << "text, " << counts.size() << " distinct value" << (counts.size() == 1 ? "" : "s")
       << '\n';
    const std::size_t shown = std::min(texts.size(), kMaxBins);
    for (std::size_t k = 0; k < shown; ++k) {
      lines.emplace_back(enclosed("\"", from_engine(texts[k].first, enc), "\""), texts[k].second);
    }
    if (texts.size() > shown) {
      int64_t rest = 0;
      for (std::size_t k = shown; k < texts.size(); ++k) rest += texts[k].second;
      lines.emplace_back(enclosed("(", std::to_string(texts.size() - shown), " more)"), rest);
    }
  }
  std::size_t label_width = 0;
  int64_t largest = 0;
  for (const auto& [label, n] : lines) {
    label_width = std::max(label_width, columns(label));
    largest = std::max(largest, n);
  }
  for (const auto& [label, n] : lines) {
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

int run_sample(const sample_options& options, std::ostream& out, std::ostream& err) {
  const algorithm_file file = load_algorithm_file(options.file, options.enc);
  if (options.count < 1) throw command_error("-n: the count must be at least 1");

  std::vector<std::string> names = variable_names(file);
  if (!options.vars.empty()) {
    std::vector<std::string> chosen;
    for (const std::string& wanted : options.vars) {
      std::string engine_name;
      try {
        engine_name = to_engine(wanted, options.enc);
      } catch (const encoding_error& e) {
        throw command_error("--vars: " + std::string(e.what()));
      }
      const auto it = std::find_if(names.begin(), names.end(), [&](const std::string& n) {
        return lowered(n) == lowered(engine_name);
      });
      if (it == names.end()) {
        throw command_error(file.path + ": --vars: no variable '" + wanted + "' is defined");
      }
      chosen.push_back(*it);
    }
    names = std::move(chosen);
  }

  const uint64_t base_seed = options.seed ? static_cast<uint64_t>(*options.seed)
                                          : static_cast<uint64_t>(std::random_device{}());
  std::vector<variant> variants;
  variants.reserve(static_cast<std::size_t>(std::min<int64_t>(options.count, 1 << 20)));
  std::map<std::string, failure_kind> failures;
  std::vector<std::unordered_map<std::string, int64_t>> counts(names.size());
  std::unordered_set<std::string> distinct;
  std::string result;
  std::string joined;
  progress_bar progress(err, options.progress, options.count);
  const auto started = std::chrono::steady_clock::now();

  for (int64_t row = 1; row <= options.count; ++row) {
    progress.update(row - 1);
    const uint32_t seed = row_seed(base_seed, static_cast<uint64_t>(row));
    zekalg::seed(seed);
    variant v{row, seed, {}};
    v.values.reserve(names.size());
    try {
      const zekalg::environment env(file.text);
      for (const std::string& name : names) {
        env.solve_into(name, result);
        v.values.push_back(result);
      }
    } catch (const zekalg::error& e) {
      failure_kind& kind = failures[e.what()];
      if (kind.count++ == 0) {
        kind.first_row = row;
        kind.first_seed = seed;
      }
      continue;
    }
    joined.clear();
    for (std::size_t j = 0; j < names.size(); ++j) {
      ++counts[j][v.values[j]];
      joined += v.values[j];
      joined += '\x1f';
    }
    distinct.insert(joined);
    variants.push_back(std::move(v));
  }
  progress.update(options.count);
  progress.finish();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  const encoding enc = options.enc;
  const auto made = static_cast<int64_t>(variants.size());
  const int64_t failed = options.count - made;

  if (options.format == sample_format::json) {
    using nlohmann::json;
    json doc;
    doc["file"] = file.path;
    doc["seed"] = base_seed;
    json vars = json::array();
    for (const std::string& n : names) vars.push_back(cp1252_to_utf8(n));
    doc["variables"] = vars;
    json rows = json::array();
    for (const variant& v : variants) {
      json values = json::object();
      for (std::size_t j = 0; j < names.size(); ++j) {
        values[cp1252_to_utf8(names[j])] = cp1252_to_utf8(v.values[j]);
      }
      rows.push_back({{"row", v.row}, {"seed", v.seed}, {"values", values}});
    }
    doc["variants"] = rows;
    json fails = json::array();
    for (const auto& [message, kind] : failures) {
      fails.push_back({{"message", cp1252_to_utf8(message)},
                       {"count", kind.count},
                       {"first_row", kind.first_row},
                       {"first_seed", kind.first_seed}});
    }
    doc["failures"] = fails;
    doc["summary"] = {{"made", made}, {"failed", failed},
                      {"distinct", static_cast<int64_t>(distinct.size())}};
    out << doc.dump(1) << '\n';
  } else if (options.format == sample_format::csv) {
    out << "row,seed";
    for (const std::string& n : names) out << ',' << csv_field(from_engine(n, enc));
    out << '\n';
    for (const variant& v : variants) {
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
    for (const variant& v : variants) {
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
  summary << "variants: " << made << " made, " << failed << " failed, " << distinct.size()
          << " distinct (" << options.count << " from seed " << base_seed << ", ";
  char rate[64];
  std::snprintf(rate, sizeof rate, "%.2f s, %.0f per second)", seconds,
                seconds > 0 ? static_cast<double>(options.count) / seconds : 0.0);
  summary << rate << '\n';
  if (!failures.empty()) {
    summary << "failed creations:\n";
    for (const auto& [message, kind] : failures) {
      summary << "  " << kind.count << " x " << file.where(file.line_of_message(message))
              << from_engine(message, enc) << " (first in row " << kind.first_row
              << ": zekalg solve " << file.path << " --seed " << kind.first_seed << ")\n";
    }
  }
  if (made > 0) {
    for (std::size_t j = 0; j < names.size(); ++j) {
      summarise_variable(names[j], counts[j], made, enc, summary);
    }
  }
  return made > 0 ? 0 : 1;
}

}  // namespace cli
