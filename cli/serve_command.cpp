#include "serve_command.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <thread>
#include <unordered_map>

#include "embedded_files.h"
#include "tools/algorithm_file.h"
#include "tools/json_writer.h"

namespace cli {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using nlohmann::json;
using clock_type = std::chrono::steady_clock;
using error_code = boost::system::error_code;

constexpr std::size_t kHeaderLimit = 16 * 1024;
constexpr int kBacklog = 4096;  // the kernel may cap it (net.core.somaxconn)
constexpr auto kWriteTimeout = std::chrono::seconds(30);

std::string read_token(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw command_error(path + ": cannot open the token file");
  std::ostringstream text;
  text << in.rdbuf();
  std::string token = text.str();
  while (!token.empty() && std::string_view(" \t\r\n").find(token.back()) != std::string::npos) {
    token.pop_back();
  }
  if (token.empty()) throw command_error(path + ": the token file is empty");
  if (token.find_first_of("\r\n") != std::string::npos) {
    throw command_error(path + ": the token must be one line");
  }
  return token;
}

// "HOST:PORT" or "[V6]:PORT".
std::pair<std::string, int> split_listen(const std::string& listen) {
  const std::size_t colon = listen.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == listen.size()) {
    throw command_error("--listen: expected HOST:PORT, got '" + listen + "'");
  }
  std::string host = listen.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const std::string port_text = listen.substr(colon + 1);
  int port = 0;
  for (const char c : port_text) {
    if (c < '0' || c > '9' || port > 65535) {
      throw command_error("--listen: the port must be a number from 0 to 65535");
    }
    port = port * 10 + (c - '0');
  }
  if (port > 65535) throw command_error("--listen: the port must be a number from 0 to 65535");
  return {host, port};
}

std::string utc_now() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string dump(const json& doc) {
  return doc.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

// --- Routes ------------------------------------------------------------------

enum class endpoint {
  solve,
  sample,
  variants,
  check,
  grade,
  capabilities,
  health,
  openapi,
  metrics,
  file
};

struct route {
  const char* path;
  endpoint kind;
  const embedded_file* file = nullptr;
};

bool takes_post(endpoint e) {
  return e == endpoint::solve || e == endpoint::sample || e == endpoint::variants ||
         e == endpoint::check || e == endpoint::grade;
}

const char* allowed_methods(endpoint e) {
  return takes_post(e) ? "POST, OPTIONS" : "GET, HEAD, OPTIONS";
}

// Paths that need the token, when there is one.
bool guarded(endpoint e) {
  return e != endpoint::health && e != endpoint::openapi && e != endpoint::file;
}

// The metrics' name for a path: a route's own, every other path "other",
// so that no client can grow the series.
const char* series_name(const route* r) { return r != nullptr ? r->path : "other"; }

// --- The engine's workers ----------------------------------------------------

// The engine's work runs on the I/O threads, at most `slots` jobs at a time,
// so that one thread always stays free for the network; further jobs wait
// in a bounded queue. A job taken at once runs on the thread that read its
// request, right after that handler (deferred, so no other thread is woken
// for it), and its answer is written from there: a small request crosses
// no thread.
class engine_pool {
 public:
  engine_pool(net::io_context& io, std::size_t slots, std::size_t capacity)
      : io_(io), slots_(slots), capacity_(capacity) {}

  // False when every slot is busy and the queue is full: the caller answers
  // 503.
  bool try_submit(std::function<void()> job) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (busy_ == slots_) {
        if (jobs_.size() >= capacity_) return false;
        jobs_.push_back(std::move(job));
        return true;
      }
      ++busy_;
    }
    net::defer(io_, [this, job = std::move(job)]() mutable { run(std::move(job)); });
    return true;
  }

  std::size_t waiting() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.size();
  }
  std::size_t busy() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return busy_;
  }
  std::size_t threads() const { return slots_; }
  std::size_t capacity() const { return capacity_; }

 private:
  // Runs a job on a slot it holds; then the slot goes to the next job that
  // waits, on whichever thread is free first.
  void run(std::function<void()> job) {
    job();
    std::function<void()> next;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (jobs_.empty()) {
        --busy_;
        return;
      }
      next = std::move(jobs_.front());
      jobs_.pop_front();
    }
    net::post(io_, [this, next = std::move(next)]() mutable { run(std::move(next)); });
  }

  net::io_context& io_;
  const std::size_t slots_;
  const std::size_t capacity_;
  std::mutex mutex_;
  std::deque<std::function<void()>> jobs_;
  std::size_t busy_ = 0;
};

// --- Metrics -----------------------------------------------------------------

class metrics {
 public:
  static constexpr std::array<double, 14> kBuckets = {
      0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};

  void answered(const char* series, int status, double seconds) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++requests_[{series, status}];
    std::size_t b = 0;
    while (b < kBuckets.size() && seconds > kBuckets[b]) ++b;
    ++buckets_[b];
    seconds_sum_ += seconds;
    ++count_;
  }
  void engine_work(const char* series, double seconds) {
    const std::lock_guard<std::mutex> lock(mutex_);
    engine_seconds_[series] += seconds;
  }
  void limit(const std::string& name) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++limits_[name];
  }

  std::atomic<int64_t> connections_open{0};
  std::atomic<uint64_t> connections_total{0};

  std::string text(engine_pool& pool) {
    std::ostringstream out;
    const auto head = [&out](const char* name, const char* type, const char* help) {
      out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
    };
    const std::lock_guard<std::mutex> lock(mutex_);
    head("zekalg_http_requests_total", "counter", "Requests answered, by endpoint and status.");
    for (const auto& [key, n] : requests_) {
      out << "zekalg_http_requests_total{endpoint=\"" << key.first << "\",status=\"" << key.second
          << "\"} " << n << '\n';
    }
    head("zekalg_http_request_duration_seconds", "histogram",
         "Time from a request's header to the end of its answer.");
    uint64_t cumulative = 0;
    for (std::size_t b = 0; b <= kBuckets.size(); ++b) {
      cumulative += buckets_[b];
      out << "zekalg_http_request_duration_seconds_bucket{le=\"";
      if (b < kBuckets.size()) {
        out << kBuckets[b];
      } else {
        out << "+Inf";
      }
      out << "\"} " << cumulative << '\n';
    }
    out << "zekalg_http_request_duration_seconds_sum " << seconds_sum_ << '\n'
        << "zekalg_http_request_duration_seconds_count " << count_ << '\n';
    head("zekalg_engine_seconds_total", "counter", "Time the engine's workers spent, by endpoint.");
    for (const auto& [series, seconds] : engine_seconds_) {
      out << "zekalg_engine_seconds_total{endpoint=\"" << series << "\"} " << seconds << '\n';
    }
    head("zekalg_limits_reached_total", "counter",
         "Requests refused or stopped by a limit (queue, body, header, timeout, time, size).");
    for (const auto& [name, n] : limits_) {
      out << "zekalg_limits_reached_total{limit=\"" << name << "\"} " << n << '\n';
    }
    head("zekalg_queue_depth", "gauge", "Requests waiting for an engine worker.");
    out << "zekalg_queue_depth " << pool.waiting() << '\n';
    head("zekalg_queue_capacity", "gauge", "Requests that may wait before 503 is answered.");
    out << "zekalg_queue_capacity " << pool.capacity() << '\n';
    head("zekalg_engine_workers_busy", "gauge", "Engine workers at work.");
    out << "zekalg_engine_workers_busy " << pool.busy() << '\n';
    head("zekalg_engine_workers", "gauge", "Engine workers.");
    out << "zekalg_engine_workers " << pool.threads() << '\n';
    head("zekalg_connections_open", "gauge", "Open client connections.");
    out << "zekalg_connections_open " << connections_open << '\n';
    head("zekalg_connections_total", "counter", "Client connections accepted.");
    out << "zekalg_connections_total " << connections_total << '\n';
    return out.str();
  }

 private:
  std::mutex mutex_;
  std::map<std::pair<std::string, int>, uint64_t> requests_;
  std::array<uint64_t, kBuckets.size() + 1> buckets_{};
  double seconds_sum_ = 0;
  uint64_t count_ = 0;
  std::map<std::string, double> engine_seconds_;
  std::map<std::string, uint64_t> limits_;
};

// A request id the client sent, when it is a sane one, else a new one.
bool sane_request_id(std::string_view id) {
  if (id.empty() || id.size() > 128) return false;
  return std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':';
  });
}

bool json_media_type(std::string_view type) {
  type = type.substr(0, type.find(';'));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.remove_suffix(1);
  std::string lower(type);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower == "application/json" ||
         (lower.starts_with("application/") && lower.ends_with("+json"));
}

// What a streamed answer's worker hands the connection: pieces, at most a
// few at a time, so that a large answer never sits in memory.
struct stream_channel {
  static constexpr std::size_t kMostPieces = 4;
  std::mutex mutex;
  std::condition_variable room;
  std::deque<std::string> pieces;
  bool finished = false;  // the worker wrote its last piece
  bool gone = false;      // the connection is lost: the worker stops
};

}  // namespace

bool same_token(const std::string& given, const std::string& expected) {
  // Every byte of `given` is compared, whatever differs first.
  unsigned char difference = given.size() == expected.size() ? 0 : 1;
  for (std::size_t i = 0; i < given.size(); ++i) {
    const char e = expected.empty() ? '\0' : expected[i % expected.size()];
    difference |= static_cast<unsigned char>(given[i] ^ e);
  }
  return difference == 0;
}

class session;

struct http_service::state {
  state(const serve_options& o, std::ostream& l, std::size_t threads, std::size_t queue)
      : options(o),
        log(l),
        io(static_cast<int>(threads + 1)),
        acceptor(net::make_strand(io)),
        pool(io, threads, queue) {}

  serve_options options;
  std::ostream& log;
  std::mutex log_mutex;
  std::string token;  // empty: none needed
  std::vector<route> routes;
  metrics stats;
  std::atomic<uint64_t> next_id{0};
  uint64_t id_base = std::random_device{}() * 0x100000000ULL + std::random_device{}();
  std::mutex sessions_mutex;
  std::unordered_map<session*, std::weak_ptr<session>> sessions;
  std::atomic<bool> stopping{false};
  bool bound = false;
  // Last, so that the connections the I/O loop still holds go first. The
  // loop runs on one thread more than there are engine slots; each
  // connection, and the acceptor, keeps its handlers on a strand of its own.
  net::io_context io;
  tcp::acceptor acceptor;
  engine_pool pool;

  const route* find(std::string_view path) const {
    for (const route& r : routes) {
      if (path == r.path) return &r;
    }
    return nullptr;
  }
  std::string new_request_id() {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx",
                  static_cast<unsigned long long>(id_base + next_id.fetch_add(1)));
    return text;
  }
  void write_log(const std::string& line) {
    const std::lock_guard<std::mutex> lock(log_mutex);
    log << line << std::flush;
  }
  void accept();
  void begin_stop();
};

namespace {

// The service's answer to one request, before HTTP.
struct answer_parts {
  int status = 200;
  std::string body;
  std::string content_type = "application/json";
  std::vector<std::pair<std::string, std::string>> headers;
};

answer_parts problem_answer(int status, const std::string& detail,
                            const char* type = "about:blank") {
  return {status, dump(problem(status, type, detail)), "application/problem+json", {}};
}

answer_parts api_answer(const api_response& r) {
  const bool failed = r.status >= 400;
  return {r.status,
          r.text.empty() ? dump(r.body) : r.text,
          failed ? "application/problem+json" : "application/json",
          {}};
}

}  // namespace

// One client connection: reads a request's header, then (if it is to be
// served) its body, hands the work to the pool and writes the answer. All of
// it runs on the connection's strand except the job.
class session : public std::enable_shared_from_this<session> {
 public:
  session(tcp::socket socket, http_service::state& s) : stream_(std::move(socket)), s_(s) {
    ++s_.stats.connections_open;
    ++s_.stats.connections_total;
    error_code ignored;
    stream_.socket().set_option(tcp::no_delay(true), ignored);
    const auto remote = stream_.socket().remote_endpoint(ignored);
    remote_ = ignored ? "" : remote.address().to_string();
  }
  ~session() {
    --s_.stats.connections_open;
    const std::lock_guard<std::mutex> lock(s_.sessions_mutex);
    s_.sessions.erase(this);
  }

  // The connection's strand.
  net::any_io_executor executor() { return stream_.get_executor(); }

  void start() {
    {
      const std::lock_guard<std::mutex> lock(s_.sessions_mutex);
      s_.sessions.emplace(this, weak_from_this());
    }
    read_header();
  }

  // The server stops: a connection waiting for a request, or still sending
  // its header, closes now; one with a request in progress closes after
  // its answer.
  void on_stop() {
    if (reading_header_) {
      error_code ignored;
      stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
      stream_.socket().close(ignored);
    }
  }

 private:
  void read_header() {
    if (s_.stopping) return close();
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(s_.options.limits.max_body);
    // A kept-alive connection may wait idle; a new one must send its header.
    stream_.expires_after(served_ > 0 && buffer_.size() == 0 ? s_.options.idle_timeout
                                                             : s_.options.header_timeout);
    reading_header_ = true;
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](error_code ec, std::size_t) {
                              self->reading_header_ = false;
                              self->on_header(ec);
                            });
  }

  void on_header(error_code ec) {
    started_ = clock_type::now();
    if (ec) return read_failed(ec, true);
    const auto& req = parser_->get();
    const auto sent_id = req.find("X-Request-Id");
    id_ = sent_id != req.end() && sane_request_id(sent_id->value()) ? std::string(sent_id->value())
                                                                    : s_.new_request_id();
    method_ = std::string(req.method_string());
    const std::string_view target = req.target();
    path_ = std::string(target.substr(0, target.find('?')));
    keep_alive_ = req.keep_alive();
    route_ = s_.find(path_);
    const auto origin = req.find(http::field::origin);
    if (!s_.options.cors_origin.empty() && origin != req.end() &&
        (s_.options.cors_origin == "*" || origin->value() == s_.options.cors_origin)) {
      cors_ = s_.options.cors_origin == "*" ? "*" : std::string(origin->value());
    }

    if (route_ == nullptr) {
      return refuse(problem_answer(404, "no such endpoint: " + method_ + " " + path_));
    }
    const http::verb verb = req.method();
    const bool post = takes_post(route_->kind);
    if (verb == http::verb::options) {
      answer_parts preflight{204, "", "", {{"Allow", allowed_methods(route_->kind)}}};
      if (!cors_.empty()) {
        preflight.headers.emplace_back("Access-Control-Allow-Methods",
                                       allowed_methods(route_->kind));
        preflight.headers.emplace_back("Access-Control-Allow-Headers",
                                       "Authorization, Content-Type, X-Request-Id");
        preflight.headers.emplace_back("Access-Control-Max-Age", "600");
      }
      return refuse(std::move(preflight));
    }
    const bool allowed =
        post ? verb == http::verb::post : verb == http::verb::get || verb == http::verb::head;
    if (!allowed) {
      answer_parts a = problem_answer(
          405, path_ + " takes " + std::string(post ? "POST" : "GET or HEAD") + ", not " + method_);
      a.headers.emplace_back("Allow", allowed_methods(route_->kind));
      return refuse(std::move(a));
    }
    head_ = verb == http::verb::head;
    if (!s_.token.empty() && guarded(route_->kind)) {
      const auto header = req.find(http::field::authorization);
      const std::string_view value =
          header != req.end() ? std::string_view(header->value()) : std::string_view();
      const std::string_view scheme = "Bearer ";
      const bool ok = value.size() > scheme.size() && value.starts_with(scheme) &&
                      same_token(std::string(value.substr(scheme.size())), s_.token);
      if (!ok) {
        answer_parts a = problem_answer(401, "this service needs 'Authorization: Bearer TOKEN'");
        a.headers.emplace_back("WWW-Authenticate", "Bearer");
        return refuse(std::move(a));
      }
    }
    if (!post) {
      // A body these paths do not read would be taken for the next request:
      // the connection closes after the answer instead.
      if (!parser_->is_done()) keep_alive_ = false;
      return serve_get();
    }

    const auto type = req.find(http::field::content_type);
    if (type == req.end() || !json_media_type(type->value())) {
      return refuse(problem_answer(
          415,
          "send the body as JSON, with 'Content-Type: application/json'" +
              std::string(type == req.end() ? "" : " (not '" + std::string(type->value()) + "')")));
    }
    const auto expect = req.find(http::field::expect);
    if (expect != req.end() && beast::iequals(expect->value(), "100-continue") &&
        !parser_->is_done()) {
      static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
      stream_.expires_after(kWriteTimeout);
      return net::async_write(stream_, net::buffer(kContinue),
                              [self = shared_from_this()](error_code e, std::size_t) {
                                if (e) return self->close();
                                self->read_body();
                              });
    }
    read_body();
  }

  void read_body() {
    stream_.expires_after(s_.options.body_timeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](error_code ec, std::size_t) {
                       if (ec) return self->read_failed(ec, false);
                       self->serve_post();
                     });
  }

  // The request could not be read whole.
  void read_failed(error_code ec, bool header) {
    if (ec == http::error::body_limit) {
      s_.stats.limit("body");
      if (path_.empty()) {
        const auto& req = parser_->get();
        method_ = std::string(req.method_string());
        path_ = std::string(req.target().substr(0, req.target().find('?')));
        route_ = s_.find(path_);
        id_ = s_.new_request_id();
      }
      return refuse(problem_answer(413, "the body is larger than the limit of " +
                                            std::to_string(s_.options.limits.max_body) + " bytes"));
    }
    if (ec == http::error::header_limit) {
      s_.stats.limit("header");
      id_ = s_.new_request_id();
      return refuse(problem_answer(
          431, "the request's header is larger than " + std::to_string(kHeaderLimit) + " bytes"));
    }
    if (ec == beast::error::timeout) {
      // Only a connection that began a request counts as slow; an idle
      // kept-alive one just closes.
      if (!header || buffer_.size() > 0 || parser_->got_some()) s_.stats.limit("timeout");
      return close();
    }
    if (ec == http::error::end_of_stream || ec == net::error::operation_aborted ||
        ec == net::error::connection_reset || ec == net::error::eof || !parser_->got_some()) {
      return close();
    }
    id_ = s_.new_request_id();
    refuse(problem_answer(400, "malformed HTTP request: " + ec.message()));
  }

  void serve_get() {
    answer_parts a;
    switch (route_->kind) {
      case endpoint::health:
        a.body = dump({{"status", "ok"}});
        break;
      case endpoint::capabilities:
        a.body = dump(capabilities(s_.options.limits, !s_.token.empty()));
        break;
      case endpoint::metrics:
        a.body = s_.stats.text(s_.pool);
        a.content_type = "text/plain; version=0.0.4; charset=utf-8";
        break;
      case endpoint::openapi:
      case endpoint::file: {
        const embedded_file& f = *route_->file;
        a.body.assign(reinterpret_cast<const char*>(f.data), f.size);
        a.content_type = route_->kind == endpoint::openapi ? "application/json" : f.content_type;
        a.headers = {{"Cache-Control", "no-cache"},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Content-Security-Policy",
                      "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'"}};
        break;
      }
      default:
        a = problem_answer(500, "no handler");
    }
    send(std::move(a));
  }

  void serve_post() {
    body_bytes_ = parser_->get().body().size();
    const endpoint kind = route_->kind;
    const char* series = series_name(route_);
    http_service::state& s = s_;
    // The connection's strand, which keeps the I/O loop running while the
    // job is out.
    auto work = net::prefer(stream_.get_executor(), net::execution::outstanding_work.tracked);
    std::string body = std::move(parser_->get().body());
    bool queued = false;
    if (kind == endpoint::variants) {
      channel_ = std::make_shared<stream_channel>();
      queued = s_.pool.try_submit([self = shared_from_this(), work, &s, series, channel = channel_,
                                   body = std::move(body)] {
        const auto began = clock_type::now();
        bool started = false;
        const api_response r = handle_variants(body, s.options.limits, [&](std::string&& piece) {
          std::unique_lock<std::mutex> lock(channel->mutex);
          channel->room.wait(lock, [&] {
            return channel->gone || channel->pieces.size() < stream_channel::kMostPieces;
          });
          if (channel->gone) return false;
          channel->pieces.push_back(std::move(piece));
          started = true;
          lock.unlock();
          net::post(work, [self] { self->pump(); });
          return true;
        });
        s.stats.engine_work(series,
                            std::chrono::duration<double>(clock_type::now() - began).count());
        if (!started) {
          net::defer(work, [self, a = api_answer(r)]() mutable { self->answered(std::move(a)); });
          return;
        }
        {
          const std::lock_guard<std::mutex> lock(channel->mutex);
          channel->finished = true;
        }
        net::post(work, [self] { self->pump(); });
      });
    } else {
      api_response (*handle)(std::string_view, const service_limits&) =
          kind == endpoint::solve    ? handle_solve
          : kind == endpoint::sample ? handle_sample
          : kind == endpoint::grade  ? handle_grade
                                     : handle_check;
      queued = s_.pool.try_submit(
          [self = shared_from_this(), work, &s, series, handle, body = std::move(body)] {
            const auto began = clock_type::now();
            api_response r = handle(body, s.options.limits);
            s.stats.engine_work(series,
                                std::chrono::duration<double>(clock_type::now() - began).count());
            // Written from this thread once the job ends.
            net::defer(work, [self, a = api_answer(r),
                              limit = r.body.is_object() ? r.body.value("limit", "")
                                                         : std::string()]() mutable {
              if (!limit.empty()) self->s_.stats.limit(limit);
              self->answered(std::move(a));
            });
          });
    }
    if (!queued) {
      s_.stats.limit("queue");
      channel_.reset();
      answer_parts a = problem_answer(503, "every engine worker is busy and " +
                                               std::to_string(s_.pool.capacity()) +
                                               " requests are waiting; try again shortly");
      a.headers.emplace_back("Retry-After", "1");
      send(std::move(a));
    }
  }

  void answered(answer_parts a) { send(std::move(a)); }

  // An answer given before the body was read: unless the request has no
  // body left, the connection closes after it.
  void refuse(answer_parts a) {
    if (!parser_ || !parser_->is_done()) keep_alive_ = false;
    send(std::move(a));
  }

  void common_headers(http::fields& h) {
    h.set("X-Request-Id", id_);
    if (!cors_.empty()) {
      h.set(http::field::access_control_allow_origin, cors_);
      h.set(http::field::access_control_expose_headers, "X-Request-Id, Retry-After");
      if (cors_ != "*") h.set(http::field::vary, "Origin");
    }
  }

  void send(answer_parts a) {
    if (s_.stopping) keep_alive_ = false;
    auto& res = response_.emplace();
    res.version(11);
    res.result(static_cast<unsigned>(a.status));
    if (!a.content_type.empty()) res.set(http::field::content_type, a.content_type);
    for (auto& [name, value] : a.headers) res.set(name, value);
    common_headers(res);
    res.keep_alive(keep_alive_);
    status_ = a.status;
    if (a.status == 204) {
      res.body().clear();
    } else if (head_) {
      res.content_length(a.body.size());
    } else {
      res.body() = std::move(a.body);
      res.prepare_payload();
    }
    bytes_out_ = res.body().size();
    stream_.expires_after(kWriteTimeout);
    http::async_write(stream_, res, [self = shared_from_this()](error_code ec, std::size_t) {
      self->written(ec);
    });
  }

  // A streamed answer: its header with the first piece, then each piece as
  // a chunk, then the last chunk.
  void pump() {
    // A wake-up can come after the answer is complete.
    if (!channel_ || writing_ || done_streaming_) return;
    std::string out;
    bool last = false;
    {
      const std::lock_guard<std::mutex> lock(channel_->mutex);
      if (!channel_->pieces.empty()) {
        std::string& piece = channel_->pieces.front();
        char size[24];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        out = size + piece + "\r\n";
        channel_->pieces.pop_front();
      } else if (channel_->finished) {
        out = "0\r\n\r\n";
        last = true;
      } else {
        return;
      }
    }
    channel_->room.notify_one();
    if (!header_sent_) {
      header_sent_ = true;
      status_ = 200;
      if (s_.stopping) keep_alive_ = false;
      http::response<http::empty_body> res{http::status::ok, 11};
      res.set(http::field::content_type, "application/json");
      res.chunked(true);
      res.keep_alive(keep_alive_);
      common_headers(res);
      std::ostringstream head;
      head << res.base();
      out = head.str() + out;
    }
    bytes_out_ += out.size();
    writing_ = true;
    done_streaming_ = last;
    stream_out_ = std::move(out);
    stream_.expires_after(kWriteTimeout);
    net::async_write(stream_, net::buffer(stream_out_),
                     [self = shared_from_this()](error_code ec, std::size_t) {
                       self->writing_ = false;
                       if (ec) {
                         {
                           const std::lock_guard<std::mutex> lock(self->channel_->mutex);
                           self->channel_->gone = true;
                         }
                         self->channel_->room.notify_all();
                         self->done_streaming_ = true;
                         return self->written(ec);
                       }
                       if (self->done_streaming_) return self->written(ec);
                       self->pump();
                     });
  }

  void written(error_code ec) {
    const double seconds = std::chrono::duration<double>(clock_type::now() - started_).count();
    s_.stats.answered(series_name(route_), status_, seconds);
    // The access log line, its keys in order, written by hand: as a JSON
    // object it took a few microseconds of every request. The id, the
    // address and the method are ASCII by construction; the path is the
    // client's and goes through the JSON library.
    std::string line =
        "{\"bytes_in\":" + std::to_string(body_bytes_) +
        ",\"bytes_out\":" + std::to_string(bytes_out_) + ",\"id\":" + tools::json_quoted(id_) +
        ",\"method\":" + tools::json_quoted(method_) +
        ",\"ms\":" + json(std::round(seconds * 1e6) / 1000).dump() +
        ",\"path\":" + json(path_).dump(-1, ' ', false, json::error_handler_t::replace) +
        ",\"remote\":" + tools::json_quoted(remote_) + ",\"status\":" + std::to_string(status_) +
        ",\"time\":" + tools::json_quoted(utc_now()) + "}\n";
    s_.write_log(line);
    response_.reset();
    channel_.reset();
    if (ec || !keep_alive_) return linger_close();
    ++served_;
    path_.clear();
    method_.clear();
    route_ = nullptr;
    cors_.clear();
    head_ = false;
    body_bytes_ = 0;
    bytes_out_ = 0;
    header_sent_ = false;
    done_streaming_ = false;
    read_header();
  }

  // Closes after an answer: what the client still sends is read and dropped
  // for a moment, so that the close does not reset the connection before
  // the client has read the answer.
  void linger_close() {
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(std::chrono::seconds(2));
    drain();
  }
  void drain() {
    if (drained_ > (16u << 20)) return close();
    drain_buffer_.resize(16 * 1024);
    stream_.async_read_some(net::buffer(drain_buffer_),
                            [self = shared_from_this()](error_code ec, std::size_t n) {
                              if (ec) return self->close();
                              self->drained_ += n;
                              self->drain();
                            });
  }

  void close() {
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.socket().close(ignored);
  }

  beast::tcp_stream stream_;
  http_service::state& s_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::optional<http::response<http::string_body>> response_;
  std::shared_ptr<stream_channel> channel_;
  std::string stream_out_;
  std::string drain_buffer_;
  std::size_t drained_ = 0;
  std::string remote_;
  std::string id_;
  std::string method_;
  std::string path_;
  std::string cors_;
  const route* route_ = nullptr;
  clock_type::time_point started_ = clock_type::now();
  int status_ = 0;
  std::size_t body_bytes_ = 0;
  std::size_t bytes_out_ = 0;
  uint64_t served_ = 0;
  bool keep_alive_ = false;
  bool head_ = false;
  bool reading_header_ = false;
  bool writing_ = false;
  bool header_sent_ = false;
  bool done_streaming_ = false;
};

void http_service::state::accept() {
  acceptor.async_accept(net::make_strand(io), [this](error_code ec, tcp::socket socket) {
    if (stopping || !acceptor.is_open()) return;
    if (!ec) {
      const auto connection = std::make_shared<session>(std::move(socket), *this);
      net::dispatch(connection->executor(), [connection] { connection->start(); });
      return accept();
    }
    // Out of descriptors or the like: try again shortly.
    auto timer =
        std::make_shared<net::steady_timer>(acceptor.get_executor(), std::chrono::milliseconds(50));
    timer->async_wait([this, timer](error_code) {
      if (!stopping) accept();
    });
  });
}

void http_service::state::begin_stop() {
  if (stopping) return;
  stopping = true;
  error_code ignored;
  acceptor.close(ignored);
  std::vector<std::shared_ptr<session>> open;
  {
    const std::lock_guard<std::mutex> lock(sessions_mutex);
    for (auto& [raw, weak] : sessions) {
      if (auto s = weak.lock()) open.push_back(std::move(s));
    }
  }
  for (const auto& s : open) net::post(s->executor(), [s] { s->on_stop(); });
}

http_service::http_service(const serve_options& options, std::ostream& log) {
  const std::size_t threads = options.threads > 0
                                  ? static_cast<std::size_t>(options.threads)
                                  : std::max<std::size_t>(2, std::thread::hardware_concurrency());
  const std::size_t queue =
      options.queue > 0 ? static_cast<std::size_t>(options.queue) : 64 * threads;
  std::string token;
  if (!options.token_file.empty()) token = read_token(options.token_file);
  state_ = std::make_unique<state>(options, log, threads, queue);
  state& s = *state_;
  // One /v1/variants request may use as many threads as there are workers.
  if (s.options.limits.variant_threads <= 0) {
    s.options.limits.variant_threads = static_cast<int>(std::min<std::size_t>(threads, 64));
  }
  s.token = std::move(token);
  s.routes = {
      {"/v1/solve", endpoint::solve},       {"/v1/sample", endpoint::sample},
      {"/v1/variants", endpoint::variants}, {"/v1/check", endpoint::check},
      {"/v1/grade", endpoint::grade},       {"/v1/capabilities", endpoint::capabilities},
      {"/v1/health", endpoint::health},     {"/metrics", endpoint::metrics},
  };
  for (std::size_t i = 0; i < kEmbeddedFileCount; ++i) {
    const embedded_file& f = kEmbeddedFiles[i];
    if (std::string_view(f.path) == "/openapi.json") {
      s.routes.push_back({"/v1/openapi.json", endpoint::openapi, &f});
    } else {
      s.routes.push_back({f.path, endpoint::file, &f});
    }
  }
}

http_service::~http_service() = default;

int http_service::bind() {
  state& s = *state_;
  const auto [host, port] = split_listen(s.options.listen);
  const std::string where = "--listen: cannot listen on " + s.options.listen + ": ";
  error_code ec;
  net::ip::address address = net::ip::make_address(host, ec);
  if (ec) {
    tcp::resolver resolver(s.io);
    const auto found = resolver.resolve(host, std::to_string(port), ec);
    if (ec || found.empty()) throw command_error(where + "unknown host '" + host + "'");
    address = found.begin()->endpoint().address();
  }
  const tcp::endpoint at(address, static_cast<unsigned short>(port));
  s.acceptor.open(at.protocol(), ec);
  if (!ec) s.acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) s.acceptor.bind(at, ec);
  if (ec == net::error::address_in_use) {
    throw command_error(where + "the port is in use by another program");
  }
  if (!ec) s.acceptor.listen(kBacklog, ec);
  if (ec) throw command_error(where + ec.message());
  s.bound = true;
  return s.acceptor.local_endpoint().port();
}

bool http_service::run() {
  state& s = *state_;
  if (!s.bound) return false;
  net::post(s.acceptor.get_executor(), [&s] { s.accept(); });
  // The jobs hold the loop's work: it ends when the last one has answered.
  std::vector<std::thread> others;
  for (std::size_t i = 0; i < s.pool.threads(); ++i) others.emplace_back([&s] { s.io.run(); });
  s.io.run();
  for (std::thread& t : others) t.join();
  return true;
}

void http_service::stop() {
  net::post(state_->acceptor.get_executor(), [this] { state_->begin_stop(); });
}

int run_serve(const serve_options& options, std::ostream& err) {
  // SIGINT and SIGTERM wait for one thread that stops the server; every
  // other thread (the engine's workers start below) has them blocked.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  // A client that goes away mid-answer must not end the process.
  signal(SIGPIPE, SIG_IGN);

  http_service service(options, err);
  const int port = service.bind();
  const auto [host, ignored] = split_listen(options.listen);
  const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  err << "zekalg serve: listening on http://" << shown << ":" << port << "/"
      << (options.token_file.empty() ? "" : " (token required)") << std::endl;

  std::atomic<bool> woken{false};  // the waiter returned from sigwait, or will not wait
  std::thread waiter([&] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    if (woken.exchange(true)) return;  // the server ended by itself
    err << "zekalg serve: " << (signal_number == SIGINT ? "SIGINT" : "SIGTERM")
        << ", finishing the requests in progress" << std::endl;
    service.stop();
  });
  const bool ran = service.run();
  if (!woken.exchange(true)) pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  if (!ran) {
    err << "zekalg serve: the server stopped with an error" << std::endl;
    return 1;
  }
  err << "zekalg serve: stopped" << std::endl;
  return 0;
}

}  // namespace cli
