#include "serve_command.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "algorithm_file.h"
#include "embedded_files.h"

namespace cli {
namespace {

using nlohmann::json;
using clock_type = std::chrono::steady_clock;

// When the request the calling worker thread handles began (set before its
// body is read), for the access log.
thread_local std::optional<clock_type::time_point> request_started;

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

void send_json(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace) + "\n",
                  "application/json");
}

const char* reason_of(int status) {
  switch (status) {
    case 400:
      return "malformed request";
    case 401:
      return "unauthorized";
    case 404:
      return "not found";
    case 405:
      return "method not allowed";
    case 414:
      return "the URI is too long";
    default:
      return "error";
  }
}

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

struct http_service::state {
  serve_options options;
  std::ostream& log;
  std::mutex log_mutex;
  std::string token;  // empty: none needed
  httplib::Server server;
  // The server's own stop() does nothing before it runs: stop() waits for
  // run() to start serving, unless run() was not called yet.
  std::mutex run_mutex;
  bool stop_requested = false;
  bool run_called = false;
  std::atomic<bool> run_returned{false};
};

http_service::http_service(const serve_options& options, std::ostream& log)
    : state_(new state{options, log, {}, {}, {}, {}, false, false, {false}}) {
  state& s = *state_;
  if (!options.token_file.empty()) s.token = read_token(options.token_file);
  const std::size_t threads = options.threads > 0
                                  ? static_cast<std::size_t>(options.threads)
                                  : std::max<std::size_t>(2, std::thread::hardware_concurrency());
  s.server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  s.server.set_payload_max_length(options.limits.max_body);
  s.server.set_keep_alive_max_count(100);
  s.server.set_tcp_nodelay(true);  // answers are small: no waiting for acknowledgements
  s.server.set_read_timeout(5, 0);
  s.server.set_write_timeout(5, 0);

  s.server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    request_started = clock_type::now();
    state& st = *state_;
    const bool protected_path = req.path.starts_with("/v1/") && req.path != "/v1/health";
    if (!st.token.empty() && protected_path) {
      const std::string header = req.get_header_value("Authorization");
      const std::string scheme = "Bearer ";
      const bool ok = header.size() > scheme.size() && header.starts_with(scheme) &&
                      same_token(header.substr(scheme.size()), st.token);
      if (!ok) {
        res.set_header("WWW-Authenticate", "Bearer");
        // The body, if any, is left unread: the connection closes.
        res.set_header("Connection", "close");
        send_json(res, 401, {{"error", "this service needs 'Authorization: Bearer TOKEN'"}});
        return httplib::Server::HandlerResponse::Handled;
      }
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  s.server.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    double ms = 0;
    if (request_started) {
      ms = std::chrono::duration<double, std::milli>(clock_type::now() - *request_started).count();
      request_started.reset();
    }
    const json line = {{"time", utc_now()},           {"remote", req.remote_addr},
                       {"method", req.method},        {"path", req.path},
                       {"status", res.status},        {"ms", std::round(ms * 1000) / 1000},
                       {"bytes_in", req.body.size()}, {"bytes_out", res.body.size()}};
    const std::string text = line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    const std::lock_guard<std::mutex> lock(state_->log_mutex);
    state_->log << text << std::flush;
  });

  const std::size_t max_body = options.limits.max_body;
  s.server.set_error_handler(httplib::Server::HandlerWithResponse(
      [max_body](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        std::string message = reason_of(res.status);
        if (res.status == 404) message = "no such endpoint: " + req.method + " " + req.path;
        if (res.status == 413) {
          message = "the body is larger than the limit of " + std::to_string(max_body) + " bytes";
          if (req.get_header_value("Content-Type") == "application/x-www-form-urlencoded") {
            // The HTTP library holds form-encoded bodies to 8,192 bytes.
            message =
                "a form-encoded body may have at most 8192 bytes: send the JSON with "
                "'Content-Type: application/json'";
          }
        }
        send_json(res, res.status, {{"error", message}});
        return httplib::Server::HandlerResponse::Handled;
      }));

  s.server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
        std::string message = "internal error";
        try {
          if (error) std::rethrow_exception(error);
        } catch (const std::exception& e) {
          message += ": ";
          message += e.what();
        } catch (...) {
        }
        send_json(res, 500, {{"error", message}});
      });

  const service_limits limits = options.limits;
  const auto endpoint = [&s, limits](
                            const char* path,
                            api_response (*handle)(std::string_view, const service_limits&)) {
    s.server.Post(path, [handle, limits](const httplib::Request& req, httplib::Response& res) {
      const api_response answer = handle(req.body, limits);
      send_json(res, answer.status, answer.body);
    });
    s.server.Get(path, [](const httplib::Request& req, httplib::Response& res) {
      res.set_header("Allow", "POST");
      send_json(res, 405, {{"error", req.path + " takes POST"}});
    });
  };
  endpoint("/v1/solve", handle_solve);
  endpoint("/v1/sample", handle_sample);
  endpoint("/v1/check", handle_check);

  const bool token_required = !s.token.empty();
  s.server.Get("/v1/capabilities",
               [limits, token_required](const httplib::Request&, httplib::Response& res) {
                 send_json(res, 200, capabilities(limits, token_required));
               });
  s.server.Get("/v1/health", [](const httplib::Request&, httplib::Response& res) {
    send_json(res, 200, {{"status", "ok"}});
  });

  for (std::size_t i = 0; i < kEmbeddedFileCount; ++i) {
    const embedded_file& f = kEmbeddedFiles[i];
    s.server.Get(f.path, [&f](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "no-cache");
      res.set_header("X-Content-Type-Options", "nosniff");
      res.set_header("Content-Security-Policy",
                     "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
      res.set_content(reinterpret_cast<const char*>(f.data), f.size, f.content_type);
    });
  }
}

http_service::~http_service() = default;

int http_service::bind() {
  const auto [host, port] = split_listen(state_->options.listen);
  const int bound = port == 0 ? state_->server.bind_to_any_port(host)
                              : (state_->server.bind_to_port(host, port) ? port : -1);
  if (bound < 0) {
    throw command_error("--listen: cannot listen on " + state_->options.listen);
  }
  return bound;
}

bool http_service::run() {
  {
    const std::lock_guard<std::mutex> lock(state_->run_mutex);
    if (state_->stop_requested) return true;
    state_->run_called = true;
  }
  const bool ran = state_->server.listen_after_bind();
  state_->run_returned = true;
  return ran;
}

void http_service::stop() {
  {
    const std::lock_guard<std::mutex> lock(state_->run_mutex);
    state_->stop_requested = true;
    if (!state_->run_called) return;
  }
  while (!state_->server.is_running() && !state_->run_returned) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  state_->server.stop();
}

int run_serve(const serve_options& options, std::ostream& err) {
  // SIGINT and SIGTERM wait for one thread that stops the server; every
  // other thread (the server's workers start below) has them blocked.
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
