#include "tools/documents.h"

#include "tools/encoding.h"
#include "tools/json_writer.h"

namespace tools {
namespace {

const char* status_of(int32_t status) {
  return status == ZEKALG_OK ? "ok" : status == ZEKALG_ERROR_ALGORITHM ? "error" : "unknown";
}

void placed(json_writer& w, const std::string& engine_message, std::size_t level, int line) {
  w.begin_object()
      .field("message", cp1252_to_utf8(engine_message))
      .field("source", source_of(level))
      .field("line", line)
      .end_object();
}

}  // namespace

const char* source_of(std::size_t level) { return level == 0 ? "algorithm" : "base"; }

std::string variant_json(const variant_result& variant, uint32_t seed, bool ascii_minus,
                         int indent) {
  json_writer w(indent);
  w.begin_object().field("seed", seed).field("created", !variant.creation_error);
  if (variant.creation_error) {
    w.key("error");
    placed(w, variant.creation_error->message, variant.creation_error->level,
           variant.creation_error->line);
    return w.end_object().take();
  }
  w.key("results").begin_array();
  for (const request_result& r : variant.results) {
    w.begin_object()
        .field("request", cp1252_to_utf8(r.request))
        .field("status", status_of(r.status));
    if (r.status == ZEKALG_OK) {
      w.field("text", shown_text(r.text, ascii_minus));
    } else {
      w.field("message", cp1252_to_utf8(r.text));
      if (r.line > 0) w.field("source", source_of(r.level)).field("line", r.line);
    }
    w.end_object();
  }
  w.end_array();
  if (variant.named) {
    w.key("failures").begin_object().key("errors").begin_array();
    for (const variable_error& e : variant.report.errors) {
      w.begin_object()
          .field("variable", cp1252_to_utf8(e.name))
          .field("message", cp1252_to_utf8(e.message))
          .field("source", source_of(e.level))
          .field("line", e.line)
          .end_object();
    }
    w.end_array().key("cascade").begin_array();
    for (const std::string& name : variant.report.cascade) {
      w.begin_object().field("variable", cp1252_to_utf8(name)).end_object();
    }
    w.end_array().end_object();
  }
  return w.end_object().take();
}

std::string check_json(const std::vector<diagnostic>& diagnostics, int indent,
                       const variant_count* count) {
  json_writer w(indent);
  w.begin_object().key("diagnostics").begin_array();
  int errors = 0;
  for (const diagnostic& d : diagnostics) {
    errors += d.error ? 1 : 0;
    w.begin_object().field("source", source_of(d.level)).field("line", d.line);
    if (d.column > 0) w.field("column", d.column);
    w.field("severity", d.error ? "error" : "warning")
        .field("message", cp1252_to_utf8(d.text))
        .end_object();
  }
  w.end_array()
      .field("errors", errors)
      .field("warnings", static_cast<int>(diagnostics.size()) - errors);
  if (count != nullptr) {
    w.key("variants").begin_object().field("count", count->variants).field("exact", count->exact);
    w.field("combinations", count->combinations).field("satisfying", count->accepted);
    if (!count->exact) w.field("sampled", count->sampled);
    if (count->variants > 0 && count->prompts >= 0) w.field("prompts", count->prompts);
    if (count->variants > 0 && count->answers >= 0) w.field("answers", count->answers);
    w.field("summary", cp1252_to_utf8(describe_count(*count))).end_object();
  }
  return w.end_object().take();
}

std::vector<diagnostic> text_warnings(const algorithm_file& file, const algorithm_file* base) {
  std::vector<diagnostic> found = text_traps(file);
  if (base != nullptr) {
    for (diagnostic& d : text_traps(*base)) {
      d.level = 1;
      found.push_back(std::move(d));
    }
  }
  return found;
}

std::string with_warnings(std::string document, const std::vector<diagnostic>& warnings) {
  if (warnings.empty() || document.empty() || document.back() != '}') return document;
  json_writer w;
  w.begin_array();
  for (const diagnostic& d : warnings) {
    w.begin_object().field("source", source_of(d.level)).field("line", d.line);
    if (d.column > 0) w.field("column", d.column);
    w.field("message", cp1252_to_utf8(d.text)).end_object();
  }
  w.end_array();
  document.pop_back();
  document += document.size() > 1 ? ",\"warnings\":" : "\"warnings\":";
  document += w.take();
  document += '}';
  return document;
}

std::string error_json(const std::string& utf8_message, std::size_t level, int line) {
  json_writer w;
  w.begin_object().key("error").begin_object();
  w.field("message", utf8_message).field("source", source_of(level)).field("line", line);
  return w.end_object().end_object().take();
}

}  // namespace tools
