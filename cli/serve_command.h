// `zekalg serve`: the JSON endpoints of service.h over HTTP, and the
// authors' workbench at "/". Stateless: every request carries its algorithm.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "service.h"

namespace cli {

struct serve_options {
  std::string listen = "127.0.0.1:8080";  // HOST:PORT; port 0 picks a free one
  int threads = 0;                        // 0: one per core, at least 2
  std::string token_file;                 // when given, every /v1/ request needs its token
  service_limits limits;
};

// One HTTP server. bind() then run() (which blocks until stop(), from any
// thread). Each request writes one access log line to `log`:
// {"time":...,"method":...,"path":...,"status":...,"ms":...}.
class http_service {
 public:
  // Throws command_error when the token file cannot be read or is empty.
  http_service(const serve_options& options, std::ostream& log);
  ~http_service();
  http_service(const http_service&) = delete;
  http_service& operator=(const http_service&) = delete;

  // Binds the listening socket; returns its port. Throws command_error.
  int bind();
  // Serves until stop(); false when the server could not run.
  bool run();
  // Stops run(): no new connection is taken, requests in progress finish.
  void stop();

 private:
  struct state;
  std::unique_ptr<state> state_;
};

// Serves until SIGINT or SIGTERM; then finishes the requests in progress and
// returns 0. The address, and any failure, go to `err`.
int run_serve(const serve_options& options, std::ostream& err);

// Whether `given` equals `expected`, in time that depends on the lengths only.
bool same_token(const std::string& given, const std::string& expected);

}  // namespace cli
