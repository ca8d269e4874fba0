#include "sample_command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include "tools/variable_report.h"
#include "tools/variant.h"

namespace cli {
namespace {

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

constexpr int kBarWidth = 30;

std::string bar(int64_t count, int64_t largest) {
  const auto cells =
      largest > 0 ? static_cast<std::size_t>(std::lround(kBarWidth * static_cast<double>(count) /
                                                         static_cast<double>(largest)))
                  : 0;
  return std::string(std::max<std::size_t>(cells, count > 0 ? 1 : 0), '#');
}

// The range and a small histogram of one variable's values.
void summarise_variable(const std::string& name, const histogram& h, int64_t total, encoding enc,
                        std::ostream& os) {
  os << from_engine(name, enc) << ": " << from_engine(h.header, enc) << '\n';
  std::size_t label_width = 0;
  int64_t largest = 0;
  std::vector<std::string> labels;
  for (const histogram_bar& b : h.bars) {
    labels.push_back(from_engine(b.label, enc));
    label_width = std::max(label_width, columns(labels.back()));
    largest = std::max(largest, b.count);
  }
  for (std::size_t k = 0; k < h.bars.size(); ++k) {
    os << "  " << std::string(label_width - columns(labels[k]), ' ') << labels[k] << "  "
       << percent(h.bars[k].count, total) << "  " << bar(h.bars[k].count, largest) << '\n';
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
    if (on_)
      os_ << "\r" << std::string(60 + std::to_string(total_).size() * 2, ' ') << "\r" << std::flush;
  }

 private:
  std::ostream& os_;
  bool on_;
  int64_t total_;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace

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
      },
      options.threads);
  progress.update(options.count);
  progress.finish();
  const double seconds = sample.seconds;
  const std::vector<std::string>& names = sample.names;
  const std::vector<sample_row>& variants = sample.rows;

  const encoding enc = options.enc;
  const auto made = static_cast<int64_t>(variants.size());
  const int64_t failed = options.count - made;
  const auto file_at = [&](std::size_t level) {
    return level < files.size() ? files[level] : files[0];
  };
  std::string again = "zekalg solve " + file.path;
  if (base_file) again += " --base " + base_file->path;
  again += " --seed ";

  if (options.format == sample_format::json) {
    out << sample_json(sample, file, base_file ? &*base_file : nullptr, false, 1) << '\n';
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
              << from_engine(f.message, enc) << " (first in row " << f.first_row << ": " << again
              << f.first_seed << ")\n";
    }
  }
  if (!sample.variable_failures.empty()) {
    summary << "failing variables:\n";
    for (const sample_failure& f : sample.variable_failures) {
      summary << "  " << f.count << " x " << file_at(f.level)->where(f.line)
              << from_engine(f.message, enc) << " (first in row " << f.first_row << ": " << again
              << f.first_seed << ")\n";
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
      summarise_variable(names[j], histogram_of(sample.counts[j]), made, enc, summary);
    }
  }
  return made > 0 ? 0 : 1;
}

}  // namespace cli
