// `zekalg serve`: the JSON endpoints of service.h over HTTP, and the
// authors' workbench at "/". Stateless: every request carries its algorithm.
//
// The network I/O never blocks, so an open, idle or slow connection costs a
// socket and a few kilobytes, never a worker. The I/O loop runs on `threads`
// + 1 threads, and the engine's work on the same threads, at most `threads`
// jobs at a time (one thread always stays free for the network) behind a
// bounded queue; a request that finds the queue full is answered 503 at
// once. A small request is read, solved and answered on one thread.
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <string>

#include "service.h"

namespace cli {

class session;

struct serve_options {
  std::string listen = "127.0.0.1:8080";  // HOST:PORT; port 0 picks a free one
  int threads = 0;                        // engine workers; 0: one per core, at least 2
  int queue = 0;                          // requests waiting for a worker; 0: 64 per worker
  std::string token_file;                 // when given, every /v1/ request needs its token
  std::string cors_origin;                // when given, answers this origin's browsers
  std::chrono::milliseconds header_timeout{10000};  // to receive a request's header
  std::chrono::milliseconds body_timeout{30000};    // to receive its body
  std::chrono::milliseconds idle_timeout{30000};    // a kept-alive connection waits this long
  service_limits limits;
};

// One HTTP server. bind() then run() (which blocks until stop(), from any
// thread). Each request writes one access log line to `log`:
// {"time":...,"id":...,"method":...,"path":...,"status":...,"ms":...}.
class http_service {
 public:
  // Throws command_error when the token file cannot be read or is empty.
  http_service(const serve_options& options, std::ostream& log);
  ~http_service();
  http_service(const http_service&) = delete;
  http_service& operator=(const http_service&) = delete;

  // Binds the listening socket; returns its port. Throws command_error, also
  // when another process listens on the port.
  int bind();
  // Serves until stop(); false when the server could not run.
  bool run();
  // Stops run(): no new connection is taken, requests in progress finish.
  void stop();

 private:
  friend class session;
  struct state;
  std::unique_ptr<state> state_;
};

// Serves until SIGINT or SIGTERM; then finishes the requests in progress and
// returns 0. The address, and any failure, go to `err`.
int run_serve(const serve_options& options, std::ostream& err);

// Whether `given` equals `expected`, in time that depends on the lengths only.
bool same_token(const std::string& given, const std::string& expected);

}  // namespace cli
