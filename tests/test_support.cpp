#include "test_support.h"

#include <ostream>
#include <vector>

#include "zekalg/zekalg.h"

int32_t create_env(const std::string& algorithm, std::string* message, int32_t base) {
  std::vector<char> buffer(256);
  int32_t length = static_cast<int32_t>(buffer.size());
  const int32_t id = zekalg_create_environment(base, algorithm.c_str(), buffer.data(), &length);
  if (id < 0 && length >= static_cast<int32_t>(buffer.size())) {
    // The message did not fit: ask again for the whole of it.
    buffer.resize(static_cast<size_t>(length) + 1);
    length = static_cast<int32_t>(buffer.size());
    const int32_t again =
        zekalg_create_environment(base, algorithm.c_str(), buffer.data(), &length);
    if (again > 0) return again;
  }
  if (id < 0 && message != nullptr) *message = std::string(buffer.data());
  return id;
}

engine_answer solve_in(int32_t id, const std::string& request) {
  std::vector<char> buffer(256);
  int32_t length = static_cast<int32_t>(buffer.size());
  int32_t status = zekalg_solve_var(id, request.c_str(), buffer.data(), &length);
  if (length >= static_cast<int32_t>(buffer.size())) {
    buffer.resize(static_cast<size_t>(length) + 1);
    length = static_cast<int32_t>(buffer.size());
    status = zekalg_solve_var(id, request.c_str(), buffer.data(), &length);
  }
  return {true, status, std::string(buffer.data(), static_cast<size_t>(length))};
}

engine_answer solve_once(const std::string& algorithm, const std::string& request, int64_t seed,
                         int32_t base) {
  if (seed >= 0) zekalg_seed_environment(static_cast<int32_t>(seed));
  std::string message;
  const int32_t id = create_env(algorithm, &message, base);
  if (id < 0) return {false, -1, message};
  engine_answer answer = solve_in(id, request);
  zekalg_kill_environment(id);
  return answer;
}

std::ostream& operator<<(std::ostream& os, const engine_answer& a) {
  return os << (a.created ? "" : "(not created) ") << "status " << a.status << " \"" << a.text
            << "\"";
}

std::string repeated(const std::string& piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

std::string doubling(int lines, const std::string& first) {
  std::string s = "q_t0|" + first + "\n";
  for (int i = 1; i <= lines; ++i) {
    s += "q_t" + std::to_string(i) + "|t" + std::to_string(i - 1) + "&t" + std::to_string(i - 1) +
         "\n";
  }
  return s;
}
