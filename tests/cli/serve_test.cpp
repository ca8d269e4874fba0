// `zekalg serve` over real sockets on loopback: a server in this process on
// a free port, asked with the HTTP library's client; and the command as a
// process, stopped by SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "check_command.h"
#include "cli_test_support.h"
#include "sample_command.h"
#include "serve_command.h"
#include "solve_command.h"
#include "tools/algorithm_file.h"
#include "tools/grading.h"

namespace {

using nlohmann::json;

using cli_test::kSource;
using cli_test::read_file;
const std::string kToken = "s3cret-token";

// With ZEKALG_SERVICE_RECORD set to a file, every answer the tests get from
// the service is appended to it as one JSON line (method, path, status,
// content type, body), for scripts/test-service.sh to check against the
// service's OpenAPI document.
void record(const httplib::Request& req, const httplib::Response& res) {
  const char* file = std::getenv("ZEKALG_SERVICE_RECORD");
  if (file == nullptr || *file == '\0') return;
  const json line = {{"method", req.method},
                     {"path", req.path},
                     {"status", res.status},
                     {"content_type", res.get_header_value("Content-Type")},
                     {"body", res.body}};
  const std::string text = line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
  const int fd = open(file, O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return;
  (void)!write(fd, text.data(), text.size());  // one write: lines of parallel tests do not mix
  close(fd);
}

httplib::Client client_for(int port) {
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(30, 0);
  client.set_logger(record);
  return client;
}

// A loopback socket connected to `port`, with a receive timeout.
int connect_to(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  return fd;
}

// Sends `bytes`, closes the sending side and returns all the reply.
std::string talk(int port, const std::string& bytes) {
  const int fd = connect_to(port);
  if (fd < 0) return "(no connection)";
  (void)send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  shutdown(fd, SHUT_WR);
  char buffer[4096];
  std::string reply;
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
    reply.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  return reply;
}

// Two servers for the whole suite, with small limits: one open, one that
// needs a token.
class ServeTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // One file per process: ctest runs the tests of this suite in parallel.
    const std::string token_file = testing::TempDir() + "serve_token_" + std::to_string(getpid());
    std::ofstream(token_file) << kToken << "\n";
    cli::serve_options options;
    options.listen = "127.0.0.1:0";
    options.threads = 4;
    options.limits.max_body = 64 * 1024;
    options.limits.max_count = 500;
    options.limits.max_requests = 50;
    options.limits.variant_threads = 2;  // samples and batches as a served command makes them
    plain_ = new server(options);
    options.token_file = token_file;
    guarded_ = new server(options);
  }
  static void TearDownTestSuite() {
    delete plain_;
    delete guarded_;
  }

  struct server {
    explicit server(const cli::serve_options& options) : service(options, log) {
      port = service.bind();
      thread = std::thread([this] { service.run(); });
    }
    ~server() { halt(); }
    // Stops serving; every request's log line is written when it returns.
    void halt() {
      if (!thread.joinable()) return;
      service.stop();
      thread.join();
    }
    std::ostringstream log;
    cli::http_service service;
    int port = 0;
    std::thread thread;
  };

  static httplib::Result post(const std::string& path, const std::string& body,
                              const server* s = nullptr, const httplib::Headers& headers = {}) {
    httplib::Client client = client_for((s != nullptr ? s : plain_)->port);
    return client.Post(path.c_str(), headers, body, "application/json");
  }
  static json post_ok(const std::string& path, const json& body) {
    const auto res = post(path, body.dump());
    EXPECT_TRUE(res) << path;
    if (!res) return {};
    EXPECT_EQ(res->status, 200) << res->body;
    return json::parse(res->body);
  }

  static server* plain_;
  static server* guarded_;
};

ServeTest::server* ServeTest::plain_ = nullptr;
ServeTest::server* ServeTest::guarded_ = nullptr;

const char* const kExamples[] = {"quadratic.alg", "right_triangle.alg", "discount.alg",
                                 "unit_conversion.alg", "sum_of_two.alg"};

// Each example's variant as `zekalg solve` prints it, and as the service
// answers it: the same texts, converted the same way.
TEST_F(ServeTest, SolveAnswersWhatTheCommandPrints) {
  for (const char* name : kExamples) {
    const std::string path = kSource + "/examples/" + name;
    cli::solve_options options;
    options.file = path;
    options.seed = 2026;
    std::ostringstream out;
    std::ostringstream err;
    cli::run_solve(options, out, err);

    const json answer = post_ok("/v1/solve", {{"algorithm", read_file(path)}, {"seed", 2026}});
    std::string shown;
    for (const json& r : answer["results"]) {
      if (r["status"] == "ok")
        shown += r["request"].get<std::string>() + " = " + r["text"].get<std::string>() + "\n";
    }
    EXPECT_EQ(shown, out.str()) << name;
    EXPECT_EQ(answer["seed"], 2026);
  }
}

TEST_F(ServeTest, SolveChoosesASeedThatBringsTheVariantBack) {
  const std::string algorithm = "r_a|1|1000\nr_b|1|1000\nq_s|a+b|0";
  const json first = post_ok("/v1/solve", {{"algorithm", algorithm}, {"requests", {"a", "s"}}});
  ASSERT_TRUE(first["seed"].is_number_unsigned());
  const json again = post_ok(
      "/v1/solve", {{"algorithm", algorithm}, {"requests", {"a", "s"}}, {"seed", first["seed"]}});
  EXPECT_EQ(again["results"], first["results"]);
}

struct solve_case {
  const char* name;
  json body;
  json expected;  // the answer without its seed
};

const solve_case kSolves[] = {
    {"RequestsWithErrorsAndTheirLines",
     {{"algorithm", "r_a|2|2\nq_m|-a|0\nq_b|a/0|2"}, {"requests", {"m", "b"}}, {"seed", 1}},
     json::parse(R"({"created":true,"results":[
       {"request":"m","status":"ok","text":"–2"},
       {"request":"b","status":"error","message":"b: error while evaluating '/': division by zero","source":"algorithm","line":3}]})")},
    {"MalformedRequestHasNoLine",
     {{"algorithm", "k_a|1"}, {"requests", {"1+", "a"}}, {"seed", 1}},
     json::parse(R"({"created":true,"results":[
       {"request":"1+","status":"error","message":"error while evaluating '+': illegal/missing operand"},
       {"request":"a","status":"ok","text":"1"}]})")},
    {"EveryVariableWithTheFailureReport",
     {{"algorithm", "r_a|2|2\nq_b|a/0|2\nq_c|b+1|0"}, {"seed", 1}},
     json::parse(R"({"created":true,"results":[
       {"request":"a","status":"ok","text":"2"},
       {"request":"b","status":"error","message":"b: error while evaluating '/': division by zero","source":"algorithm","line":2},
       {"request":"c","status":"error","message":"b: error while evaluating '/': division by zero","source":"algorithm","line":2}],
       "failures":{"errors":[{"variable":"b","message":"b: error while evaluating '/': division by zero","source":"algorithm","line":2}],
                   "cascade":[{"variable":"c"}]}})")},
    {"CreationFailsInTheBase",
     {{"algorithm", "q_y|x+1|0"}, {"base", "r_x|1|3\nc_never|x>5"}, {"seed", 1}},
     json::parse(
         R"({"created":false,"error":{"message":"condition x>5 could not be satisfied","source":"base","line":2}})")},
    {"BuiltOnABase",
     {{"algorithm", "q_y|x*10|0"}, {"base", "k_x|4"}, {"requests", {"y", "x"}}, {"seed", 1}},
     json::parse(R"({"created":true,"results":[
       {"request":"y","status":"ok","text":"40"},{"request":"x","status":"ok","text":"4"}]})")},
    {"UnicodeBothWays",
     {{"algorithm", "k_t|\"caf\u00e9 \u20ac\""}, {"requests", {"t & \" \u00b2\""}}, {"seed", 1}},
     json::parse(R"({"created":true,"results":[
       {"request":"t & \" ²\"","status":"ok","text":"café € ²"}]})")},
    {"AsciiMinus",
     {{"algorithm", "k_a|-2"},
      {"requests", {"a", "a*3", "\"–\" & str(a,0)"}},
      {"seed", 1},
      {"ascii_minus", true}},
     json::parse(R"x({"created":true,"results":[
       {"request":"a","status":"ok","text":"-2"},{"request":"a*3","status":"ok","text":"-6"},
       {"request":"\"–\" & str(a,0)","status":"ok","text":"--2"}]})x")},
};

class ServeSolve : public ServeTest, public testing::WithParamInterface<solve_case> {};

TEST_P(ServeSolve, Answers) {
  json answer = post_ok("/v1/solve", GetParam().body);
  answer.erase("seed");
  EXPECT_EQ(answer, GetParam().expected) << answer.dump(1);
}

INSTANTIATE_TEST_SUITE_P(Cases, ServeSolve, testing::ValuesIn(kSolves),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServeTest, SampleAnswersWhatTheCommandPrints) {
  const std::string path = kSource + "/examples/right_triangle.alg";
  cli::sample_options options;
  options.file = path;
  options.count = 60;
  options.seed = 99;
  options.format = cli::sample_format::json;
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(cli::run_sample(options, out, err), 0);
  json printed = json::parse(out.str());

  json answer =
      post_ok("/v1/sample", {{"algorithm", read_file(path)}, {"count", 60}, {"seed", 99}});
  EXPECT_GT(answer["seconds"].get<double>(), 0);
  answer.erase("seconds");
  printed.erase("seconds");
  EXPECT_EQ(answer["file"], "algorithm.alg");
  answer.erase("file");
  printed.erase("file");
  EXPECT_EQ(answer, printed);

  const json some = post_ok(
      "/v1/sample", {{"algorithm", read_file(path)}, {"count", 5}, {"variables", {"a", "B"}}});
  EXPECT_EQ(some["variables"], json::parse(R"(["a","b"])"));
  EXPECT_EQ(some["variants"].size(), 5u);
}

TEST_F(ServeTest, SampleTellsFailuresWithFileAndLine) {
  const json answer = post_ok(
      "/v1/sample", {{"algorithm", "r_a|1|4\nq_b|1/(a-2)|2\nq_c|b|2"}, {"count", 40}, {"seed", 5}});
  ASSERT_EQ(answer["failures"].size(), 1u) << answer.dump(1);
  EXPECT_EQ(answer["failures"][0]["kind"], "variable");
  EXPECT_EQ(answer["failures"][0]["file"], "algorithm.alg");
  EXPECT_EQ(answer["failures"][0]["line"], 2);
  EXPECT_EQ(answer["cascade"][0]["variable"], "c");
  EXPECT_EQ(answer["summary"]["made"].get<int>() + answer["summary"]["failed"].get<int>(), 40);
}

TEST_F(ServeTest, CheckAnswersTheCommandsDiagnostics) {
  const std::string text = read_file(kSource + "/tests/cli/broken.alg");
  json expected = json::array();
  for (const cli::diagnostic& d : cli::check_algorithm(
           cli::algorithm_from_text("algorithm.alg", text, cli::encoding::utf8), 300)) {
    expected.push_back({{"source", "algorithm"},
                        {"line", d.line},
                        {"severity", d.error ? "error" : "warning"},
                        {"message", cli::cp1252_to_utf8(d.text)}});
  }
  ASSERT_GT(expected.size(), 3u);
  const json answer = post_ok("/v1/check", {{"algorithm", text}});
  EXPECT_EQ(answer["diagnostics"], expected);
  EXPECT_EQ(answer["errors"].get<std::size_t>() + answer["warnings"].get<std::size_t>(),
            expected.size());
}

const char* const kQuestions[] = {"q_area.alg", "q_choice.alg", "q_circle_parts.alg"};

// A response that is readable and wrong for a part of a grade document:
// another option, or the right number with its first significant digit
// changed (as many figures and decimals).
std::string wrong_response(const json& part) {
  if (part["kind"] == "choice") {
    const json& options = part["options"];
    return options[part["right_option"].get<std::size_t>() % options.size()];
  }
  if (part["kind"] == "text") return "no such unit";
  std::string number = part["answer"];
  const std::size_t first = number.find_first_of("123456789");
  if (first != std::string::npos) number[first] = number[first] == '9' ? '1' : number[first] + 1;
  return number;
}

// Each example question: the service answers the tools' document, takes the
// right answers as shown and refuses readable wrong ones.
TEST_F(ServeTest, GradeAnswersTheToolsDocument) {
  for (const char* name : kQuestions) {
    const std::string text = read_file(kSource + "/examples/" + name);
    const cli::algorithm_file file =
        cli::algorithm_from_text("algorithm.alg", text, cli::encoding::utf8);
    for (const int64_t seed : {int64_t{5}, int64_t{-1}}) {
      const json shown = post_ok("/v1/grade", {{"algorithm", text}, {"seed", seed}});
      const uint32_t bits = static_cast<uint32_t>(seed);
      EXPECT_EQ(shown, json::parse(tools::grade_json(file, nullptr, bits, std::nullopt))) << name;
      std::vector<std::string> right;
      std::vector<std::string> wrong;
      for (const json& part : shown["parts"]) {
        right.push_back(part["answer"]);
        wrong.push_back(wrong_response(part));
      }
      ASSERT_FALSE(right.empty()) << name;
      for (const auto& [responses, result] :
           {std::pair{right, "right"}, std::pair{wrong, "wrong"}}) {
        const json graded =
            post_ok("/v1/grade", {{"algorithm", text}, {"seed", seed}, {"responses", responses}});
        EXPECT_EQ(graded, json::parse(tools::grade_json(file, nullptr, bits, responses))) << name;
        ASSERT_EQ(graded["verdicts"].size(), responses.size()) << graded.dump(1);
        for (const json& v : graded["verdicts"])
          EXPECT_EQ(v["result"], result) << name << " " << seed;
        EXPECT_EQ(graded["right"], std::string(result) == "right" ? responses.size() : 0u);
      }
    }
  }
}

// What the tools cannot grade is 422, with the tools' message and, where it
// points, the text and line.
struct grade_refusal_case {
  const char* name;
  json body;
  const char* field;  // nullptr: none
  int line;
};

const grade_refusal_case kGradeRefusals[] = {
    {"NoQuestion", {{"algorithm", "k_a|1"}, {"seed", 1}}, nullptr, 0},
    {"TooManyResponses",
     {{"algorithm", "k_a|1\n?numeric|a"}, {"seed", 1}, {"responses", {"1", "2"}}},
     nullptr,
     0},
    {"NoResponses",
     {{"algorithm", "k_a|1\n?numeric|a"}, {"seed", 1}, {"responses", json::array()}},
     nullptr,
     0},
    {"CreationFails",
     {{"algorithm", "r_x|1|3\nc_no|x>5\n?numeric|x"}, {"seed", 1}},
     "algorithm",
     2},
    {"CreationFailsInTheBase",
     {{"algorithm", "q_y|x+1|0\n?numeric|y"}, {"base", "r_x|1|3\nc_never|x>5"}, {"seed", 1}},
     "base",
     2},
};

class ServeGradeRefused : public ServeTest,
                          public testing::WithParamInterface<grade_refusal_case> {};

TEST_P(ServeGradeRefused, Answers422) {
  const grade_refusal_case& c = GetParam();
  const auto res = post("/v1/grade", c.body.dump());
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 422) << res->body;
  EXPECT_EQ(res->get_header_value("Content-Type"), "application/problem+json");
  const json doc = json::parse(res->body);
  EXPECT_EQ(doc["type"], "urn:zekalg:problem:cannot-grade");
  const std::optional<cli::algorithm_file> base =
      c.body.contains("base")
          ? std::optional(cli::algorithm_from_text("base.alg", c.body["base"], cli::encoding::utf8))
          : std::nullopt;
  const json tools_error = json::parse(tools::grade_json(
      cli::algorithm_from_text("algorithm.alg", c.body["algorithm"], cli::encoding::utf8),
      base ? &*base : nullptr, 1,
      c.body.contains("responses")
          ? std::optional(c.body["responses"].get<std::vector<std::string>>())
          : std::nullopt))["error"];
  EXPECT_EQ(doc["detail"], tools_error["message"]);
  EXPECT_EQ(doc.value("field", ""), c.field != nullptr ? c.field : "") << res->body;
  EXPECT_EQ(doc.value("line", 0), c.line) << res->body;
}

INSTANTIATE_TEST_SUITE_P(Cases, ServeGradeRefused, testing::ValuesIn(kGradeRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServeTest, HealthAndCapabilities) {
  httplib::Client client = client_for(guarded_->port);
  const auto health = client.Get("/v1/health");  // no token needed
  ASSERT_TRUE(health);
  EXPECT_EQ(json::parse(health->body)["status"], "ok");
  const auto caps = client.Get("/v1/capabilities", {{"Authorization", "Bearer " + kToken}});
  ASSERT_TRUE(caps);
  const json c = json::parse(caps->body);
  EXPECT_EQ(c["limits"]["max_body_bytes"], 64 * 1024);
  EXPECT_EQ(c["limits"]["max_count"], 500);
  EXPECT_EQ(c["token_required"], true);
  EXPECT_NE(std::find(c["endpoints"].begin(), c["endpoints"].end(), "/v1/grade"),
            c["endpoints"].end());
}

TEST_F(ServeTest, WorkbenchIsServed) {
  httplib::Client client = client_for(guarded_->port);
  // KaTeX beside the page, where its style sheet looks for its fonts.
  const std::pair<const char*, const char*> files[] = {
      {"/", "text/html; charset=utf-8"},
      {"/workbench.js", "text/javascript; charset=utf-8"},
      {"/workbench.css", "text/css; charset=utf-8"},
      {"/katex/katex.min.js", "text/javascript; charset=utf-8"},
      {"/katex/katex.min.css", "text/css; charset=utf-8"},
      {"/katex/fonts/KaTeX_Main-Regular.woff2", "font/woff2"},
      {"/katex/fonts/KaTeX_Math-Italic.woff2", "font/woff2"},
  };
  for (const auto& [path, type] : files) {
    const auto res = client.Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 200) << path;
    EXPECT_GT(res->body.size(), 100u) << path;
    EXPECT_EQ(res->get_header_value("Content-Type"), type) << path;
  }
}

struct token_case {
  const char* name;
  const char* authorization;  // nullptr: no header
  int status;
};

const token_case kTokens[] = {
    {"Missing", nullptr, 401},
    {"Wrong", "Bearer s3cret-tokem", 401},
    {"Longer", "Bearer s3cret-token2", 401},
    {"Shorter", "Bearer s3cret", 401},
    {"OtherScheme", "Basic s3cret-token", 401},
    {"Empty", "Bearer ", 401},
    {"Right", "Bearer s3cret-token", 200},
};

class ServeToken : public ServeTest, public testing::WithParamInterface<token_case> {};

TEST_P(ServeToken, GuardsEveryEndpoint) {
  httplib::Headers headers;
  if (GetParam().authorization != nullptr) {
    headers.emplace("Authorization", GetParam().authorization);
  }
  for (const char* path : {"/v1/solve", "/v1/sample", "/v1/check", "/v1/grade"}) {
    const auto res =
        post(path,
             std::string(path) == "/v1/grade" ? R"({"algorithm":"k_a|1\n?numeric|a","seed":1})"
                                              : R"({"algorithm":"k_a|1"})",
             guarded_, headers);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, GetParam().status) << path << ": " << res->body;
    if (GetParam().status == 401) {
      EXPECT_EQ(res->get_header_value("WWW-Authenticate"), "Bearer");
      EXPECT_EQ(json::parse(res->body)["status"], 401);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ServeToken, testing::ValuesIn(kTokens),
                         [](const auto& info) { return std::string(info.param.name); });

struct bad_request_case {
  const char* name;
  const char* path;
  std::string body;
  int status;
  const char* error;  // the start of the message
};

const bad_request_case kBadRequests[] = {
    {"NotJson", "/v1/solve", "{algorithm:", 400, "malformed JSON: parse error at line 1, column 2"},
    {"Empty", "/v1/solve", "", 400, "malformed JSON"},
    {"TrailingGarbage", "/v1/check", R"({"algorithm":"k_a|1"} x)", 400, "malformed JSON"},
    {"NotAnObject", "/v1/solve", "[1,2]", 400, "the body must be a JSON object"},
    {"Null", "/v1/sample", "null", 400, "the body must be a JSON object"},
    {"NoAlgorithm", "/v1/solve", R"({"seed":1})", 400, "'algorithm' is missing"},
    {"AlgorithmNumber", "/v1/check", R"({"algorithm":5})", 400, "'algorithm' must be a string"},
    {"BaseList", "/v1/solve", R"({"algorithm":"k_a|1","base":[]})", 400, "'base' must be a string"},
    {"UnknownField", "/v1/solve", R"({"algorithm":"k_a|1","seeds":1})", 400,
     "unknown field 'seeds' (the fields are algorithm, base, seed, requests, ascii_minus)"},
    {"SeedText", "/v1/solve", R"({"algorithm":"k_a|1","seed":"7"})", 400,
     "'seed' must be an integer from -2147483648 to 4294967295"},
    {"SeedFraction", "/v1/solve", R"({"algorithm":"k_a|1","seed":1.5})", 400,
     "'seed' must be an integer"},
    {"SeedTooLarge", "/v1/solve", R"({"algorithm":"k_a|1","seed":4294967296})", 400,
     "'seed' must be from"},
    {"SeedHuge", "/v1/sample", R"({"algorithm":"k_a|1","seed":1e999})", 400, "malformed JSON"},
    {"RequestsText", "/v1/solve", R"({"algorithm":"k_a|1","requests":"a"})", 400,
     "'requests' must be a list of strings"},
    {"RequestNumber", "/v1/solve", R"({"algorithm":"k_a|1","requests":["a",2]})", 400,
     "'requests[1]' must be a string"},
    {"TooManyRequests", "/v1/solve",
     json{{"algorithm", "k_a|1"}, {"requests", std::vector<std::string>(51, "a")}}.dump(), 400,
     "'requests' may hold at most 50 entries"},
    {"RequestOutsideCodePage", "/v1/solve", R"({"algorithm":"k_a|1","requests":["\u221a2"]})", 400,
     "'requests[0]': character U+221A has no Windows-1252 byte"},
    {"CountZero", "/v1/sample", R"({"algorithm":"k_a|1","count":0})", 400,
     "'count' must be from 1 to 500"},
    {"CountOverLimit", "/v1/sample", R"({"algorithm":"k_a|1","count":501})", 400,
     "'count' must be from 1 to 500"},
    {"CountNegativeHuge", "/v1/sample", R"({"algorithm":"k_a|1","count":-9223372036854775808})",
     400, "'count' must be from 1 to 500"},
    {"UnknownVariable", "/v1/sample", R"({"algorithm":"k_a|1","variables":["a","zz"]})", 400,
     "'variables': no variable 'zz' is defined"},
    {"InvalidUtf8", "/v1/solve", "{\"algorithm\":\"k_a|\xff\"}", 400, "malformed JSON"},
    {"LoneSurrogate", "/v1/solve", R"({"algorithm":"k_a|\ud800"})", 400, "malformed JSON"},
    {"RequestNul", "/v1/solve", R"({"algorithm":"k_a|1","requests":["a\u0000b"]})", 400,
     "'requests[0]' holds a NUL character"},
    {"AlgorithmOutsideCodePage", "/v1/check", R"({"algorithm":"k_a|1\nk_b|\"\u221a\""})", 400,
     "algorithm line 2: character U+221A has no Windows-1252 byte"},
    {"AlgorithmNul", "/v1/solve", R"({"algorithm":"k_a|1\n\n\u0000"})", 400,
     "algorithm line 3: a NUL byte"},
    {"VariantsSeedsAndCount", "/v1/variants", R"({"algorithm":"k_a|1","seeds":[1],"count":2})", 400,
     "give either 'seeds' or 'count'"},
    {"VariantsSeedText", "/v1/variants", R"({"algorithm":"k_a|1","seeds":[1,"2"]})", 400,
     "'seeds[1]' must be an integer"},
    {"VariantsTooMany", "/v1/variants", R"({"algorithm":"k_a|1","count":501})", 400,
     "'count' must be from 1 to 500"},
    {"DeepNesting", "/v1/solve", std::string(60000, '['), 400, "malformed JSON"},
    {"DeepObject", "/v1/solve",
     "{\"algorithm\":\"k_a|1\",\"x\":" + std::string(30000, '[') + std::string(30000, ']') + "}",
     400, "unknown field 'x'"},
    {"GradeNoSeed", "/v1/grade", R"({"algorithm":"k_a|1\n?numeric|a"})", 400, "'seed' is missing"},
    {"GradeResponsesText", "/v1/grade",
     R"({"algorithm":"k_a|1\n?numeric|a","seed":1,"responses":"1"})", 400,
     "'responses' must be a list of strings"},
    {"GradeResponseNumber", "/v1/grade",
     R"({"algorithm":"k_a|1\n?numeric|a","seed":1,"responses":[1]})", 400,
     "'responses[0]' must be a string"},
    {"GradeResponseNul", "/v1/grade",
     R"({"algorithm":"k_a|1\n?numeric|a","seed":1,"responses":["1\u0000"]})", 400,
     "'responses[0]' holds a NUL character"},
    {"GradeAlgorithmOutsideCodePage", "/v1/grade",
     R"({"algorithm":"k_a|1\n?numeric|a\nk_b|\"\u221a\"","seed":1})", 400,
     "algorithm line 3: character U+221A has no Windows-1252 byte"},
    {"GradeUnknownField", "/v1/grade", R"({"algorithm":"k_a|1","seed":1,"answers":[]})", 400,
     "unknown field 'answers' (the fields are algorithm, base, seed, responses, ascii_minus)"},
    {"TooLarge", "/v1/solve", "{\"algorithm\":\"" + std::string(70 * 1024, 'a') + "\"}", 413,
     "the body is larger than the limit of 65536 bytes"},
};

class ServeBadRequest : public ServeTest, public testing::WithParamInterface<bad_request_case> {};

TEST_P(ServeBadRequest, AnswersWithAMessage) {
  const auto res = post(GetParam().path, GetParam().body);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, GetParam().status) << res->body;
  EXPECT_EQ(res->get_header_value("Content-Type"), "application/problem+json");
  const json doc = json::parse(res->body);
  EXPECT_EQ(doc["status"], GetParam().status);
  EXPECT_TRUE(doc["detail"].get<std::string>().starts_with(GetParam().error)) << doc["detail"];
}

INSTANTIATE_TEST_SUITE_P(Cases, ServeBadRequest, testing::ValuesIn(kBadRequests),
                         [](const auto& info) { return std::string(info.param.name); });

// Bytes that are not HTTP, or HTTP that lies about its body: each gets an
// answer or a closed connection, and the server goes on serving.
TEST_F(ServeTest, HostileBytesLeaveTheServerServing) {
  const std::string hostile[] = {
      "GARBAGE\r\n\r\n",
      std::string("\0\xff\x01\r\n\r\n", 7),
      "POST /v1/solve HTTP/1.1\r\nHost: x\r\nContent-Length: -5\r\n\r\n{}",
      "POST /v1/solve HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999999999999999\r\n\r\n{}",
      "POST /v1/solve HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n{\"algorithm\"",
      "POST /v1/solve HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\nZZZ\r\n",
      "POST /v1/solve HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
      "fffffffffffffff\r\n{}\r\n0\r\n\r\n",
      "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n",
      "GET / HTTP/1.1\r\n" + std::string(20000, 'h') + ": v\r\n\r\n",
  };
  for (const std::string& bytes : hostile) {
    const std::string reply = talk(plain_->port, bytes);
    if (!reply.empty()) {
      EXPECT_TRUE(reply.starts_with("HTTP/1.1 4")) << reply.substr(0, 80);
    }
    httplib::Client client = client_for(plain_->port);
    const auto health = client.Get("/v1/health");
    ASSERT_TRUE(health) << bytes.substr(0, 40);
    EXPECT_EQ(health->status, 200);
  }
}

// A body sent with a request that takes none is never read as the next
// request (a proxy in front would count one request where the service
// answered two): one answer, then the connection closes.
TEST_F(ServeTest, ABodyIsNeverTakenForTheNextRequest) {
  const std::string hidden = "GET /v1/capabilities HTTP/1.1\r\nHost: x\r\n\r\n";
  for (const char* start : {"GET /v1/health", "HEAD /v1/health", "GET /", "OPTIONS /v1/solve",
                            "GET /v1/nowhere", "PUT /v1/solve"}) {
    const std::string reply =
        talk(plain_->port, std::string(start) + " HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                               std::to_string(hidden.size()) + "\r\n\r\n" + hidden);
    std::size_t answers = reply.starts_with("HTTP/1.1 ") ? 1 : 0;
    for (std::size_t at = reply.find("\nHTTP/1.1 "); at != std::string::npos;
         at = reply.find("\nHTTP/1.1 ", at + 1)) {
      ++answers;
    }
    EXPECT_EQ(answers, 1u) << start << "\n" << reply.substr(0, 200);
  }
}

struct limit_case {
  const char* name;
  int time_limit_ms;
  std::size_t max_value_bytes;
  const char* path;
  const char* body;
  const char* limit;
  const char* error;  // the start of the message
};

const limit_case kLimits[] = {
    // Each variant draws until a rare condition holds.
    {"SampleTime", 1, 1u << 20, "/v1/sample",
     R"({"algorithm":"r_a|1|30000\nc_rare|a<3","count":5000,"seed":1})", "time",
     "time limit of 1 ms reached after "},
    {"CheckTime", 1, 1u << 20, "/v1/check", R"({"algorithm":"r_a|1|30000\nc_rare|a<3"})", "time",
     "time limit of 1 ms reached during the trial creations"},
    {"SampleSize", 10000, 1000, "/v1/sample",
     R"({"algorithm":"r_a|1|9\nq_t|\"0123456789012345678901234567890123456789\" & str(a,0)|0","count":100})",
     "size", "the values came to more than 1000 bytes after "},
    {"SolveSize", 10000, 1000, "/v1/solve",
     R"({"algorithm":"q_t|\"0123456789012345678901234567890123456789\"|0","requests":)"
     R"(["t","t","t","t","t","t","t","t","t","t","t","t","t","t","t","t","t","t","t","t","t","t","t","t","t","t","t"]})",
     "size", "the values came to more than 1000 bytes after 26 of 27 requests"},
    {"CheckSize", 10000, 1000, "/v1/check",
     R"({"algorithm":"q_t|\"0123456789012345678901234567890123456789\"|0\nq_u|t & t & t & t & t & t & t & t & t & t & t & t & t & t & t & t & t & t & t & t & t & t & t & t & t & t|0\nq_v|u|0"})",
     "size", "the values came to more than 1000 bytes during the trial creations"},
};

class ServeLimit : public ServeTest, public testing::WithParamInterface<limit_case> {};

TEST_P(ServeLimit, Answers422) {
  cli::serve_options options;
  options.listen = "127.0.0.1:0";
  options.limits.time_limit = std::chrono::milliseconds(GetParam().time_limit_ms);
  options.limits.max_value_bytes = GetParam().max_value_bytes;
  server limited(options);
  const auto res = post(GetParam().path, GetParam().body, &limited);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 422) << res->body;
  const json doc = json::parse(res->body);
  EXPECT_EQ(doc["limit"], GetParam().limit);
  EXPECT_EQ(doc["type"], "urn:zekalg:problem:limit-reached");
  EXPECT_TRUE(doc["detail"].get<std::string>().starts_with(GetParam().error)) << doc["detail"];
}

INSTANTIATE_TEST_SUITE_P(Cases, ServeLimit, testing::ValuesIn(kLimits),
                         [](const auto& info) { return std::string(info.param.name); });

// A batch of variants that reaches a limit midway has sent its first
// variants already: it ends with the variants made, in order, and says
// where and why it stopped.
struct stopped_batch_case {
  const char* name;
  int threads;
  int time_limit_ms;
  std::size_t max_value_bytes;
  const char* algorithm;
  const char* limit;
  const char* detail;  // the start of the message
};

const stopped_batch_case kStoppedBatches[] = {
    {"SizeOneThread", 1, 10000, 2000,
     R"(r_a|1|9\nq_t|\"0123456789012345678901234567890123456789\" & str(a,0)|0)", "size",
     "the values came to more than 2000 bytes after "},
    {"SizeTwoThreads", 2, 10000, 2000,
     R"(r_a|1|9\nq_t|\"0123456789012345678901234567890123456789\" & str(a,0)|0)", "size",
     "the values came to more than 2000 bytes after "},
    {"TimeTwoThreads", 2, 1, 1u << 20, R"(r_a|1|30000\nc_rare|a<3)", "time",
     "time limit of 1 ms reached after "},
};

class ServeStoppedBatch : public ServeTest,
                          public testing::WithParamInterface<stopped_batch_case> {};

TEST_P(ServeStoppedBatch, EndsWithTheVariantsMade) {
  const stopped_batch_case& c = GetParam();
  cli::serve_options options;
  options.listen = "127.0.0.1:0";
  options.limits.time_limit = std::chrono::milliseconds(c.time_limit_ms);
  options.limits.max_value_bytes = c.max_value_bytes;
  options.limits.variant_threads = c.threads;
  server limited(options);
  const auto res =
      post("/v1/variants",
           std::string(R"({"algorithm":")") + c.algorithm + R"(","count":200,"seed":3})", &limited);
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200) << res->body;
  const json doc = json::parse(res->body);
  const std::size_t made = doc["variants"].size();
  EXPECT_LT(made, 200u);
  EXPECT_EQ(doc["summary"]["made"].get<std::size_t>() + doc["summary"]["failed"].get<std::size_t>(),
            made);
  EXPECT_EQ(doc["stopped"]["limit"], c.limit);
  EXPECT_EQ(doc["stopped"]["detail"],
            c.detail + std::to_string(made) + " of 200 variants; ask for fewer");
  for (std::size_t i = 0; i < made; ++i) {
    EXPECT_EQ(doc["variants"][i]["seed"], tools::row_seed(3, i + 1)) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ServeStoppedBatch, testing::ValuesIn(kStoppedBatches),
                         [](const auto& info) { return std::string(info.param.name); });

// Many threads at once, each seeding its own variants: every answer is the
// one the same request gets alone.
TEST_F(ServeTest, ConcurrentRequestsGetTheirOwnVariants) {
  const std::string algorithm = read_file(kSource + "/examples/quadratic.alg");
  const auto body = [&](int seed) { return json{{"algorithm", algorithm}, {"seed", seed}}.dump(); };
  std::map<int, std::string> alone;
  for (int seed = 1; seed <= 16; ++seed) {
    alone[seed] = json::parse(post("/v1/solve", body(seed))->body)["results"].dump();
  }
  std::vector<std::future<int>> clients;
  for (int t = 0; t < 8; ++t) {
    clients.push_back(std::async(std::launch::async, [&, t] {
      int mismatches = 0;
      httplib::Client client = client_for(plain_->port);
      for (int i = 0; i < 24; ++i) {
        const int seed = 1 + (t * 24 + i) % 16;
        const auto res = client.Post("/v1/solve", body(seed), "application/json");
        if (!res || res->status != 200 || json::parse(res->body)["results"].dump() != alone[seed]) {
          ++mismatches;
        }
      }
      return mismatches;
    }));
  }
  for (auto& c : clients) EXPECT_EQ(c.get(), 0);
}

TEST_F(ServeTest, AccessLogHasALinePerRequest) {
  cli::serve_options options;
  options.listen = "127.0.0.1:0";
  server s(options);
  post("/v1/check", R"({"algorithm":"k_a|1"})", &s);
  post("/v1/solve", "{", &s);
  client_for(s.port).Get("/missing");
  s.halt();
  const std::string log = s.log.str();
  std::istringstream lines(log);
  std::vector<json> entries;
  for (std::string line; std::getline(lines, line);) entries.push_back(json::parse(line));
  // A line is written once its answer is sent, so the order may differ.
  std::multiset<std::pair<std::string, int>> seen;
  for (const json& entry : entries) {
    seen.emplace(entry["path"], entry["status"]);
    EXPECT_TRUE(entry["ms"].is_number());
    EXPECT_TRUE(entry["method"].is_string());
  }
  const std::multiset<std::pair<std::string, int>> expected{
      {"/v1/check", 200}, {"/v1/solve", 400}, {"/missing", 404}};
  EXPECT_EQ(seen, expected) << log;
}

// The HTTP envelope every endpoint shares: a wrong method, path or content
// type gets its problem document, with Allow where the method was wrong.
struct envelope_case {
  const char* name;
  const char* method;
  const char* path;
  const char* content_type;  // nullptr: none
  const char* body;
  int status;
  const char* answer_type;
  const char* allow;  // "": no Allow header
};

const envelope_case kEnvelopes[] = {
    {"GetOnPost", "GET", "/v1/solve", nullptr, "", 405, "application/problem+json",
     "POST, OPTIONS"},
    {"PutOnPost", "PUT", "/v1/variants", "application/json", "{}", 405, "application/problem+json",
     "POST, OPTIONS"},
    {"PostOnGet", "POST", "/v1/health", "application/json", "{}", 405, "application/problem+json",
     "GET, HEAD, OPTIONS"},
    {"NoSuchPath", "DELETE", "/nowhere", nullptr, "", 404, "application/problem+json", ""},
    {"TextPlain", "POST", "/v1/solve", "text/plain", R"({"algorithm":"k_a|1"})", 415,
     "application/problem+json", ""},
    {"FormEncoded", "POST", "/v1/check", "application/x-www-form-urlencoded", "algorithm=k_a", 415,
     "application/problem+json", ""},
    {"JsonWithCharset", "POST", "/v1/check", "application/json; charset=utf-8",
     R"({"algorithm":"k_a|1"})", 200, "application/json", ""},
    {"Head", "HEAD", "/v1/health", nullptr, "", 200, "application/json", ""},
    {"Preflight", "OPTIONS", "/v1/sample", nullptr, "", 204, "", "POST, OPTIONS"},
    {"OpenApi", "GET", "/v1/openapi.json", nullptr, "", 200, "application/json", ""},
    {"Metrics", "GET", "/metrics", nullptr, "", 200, "text/plain; version=0.0.4; charset=utf-8",
     ""},
};

class ServeEnvelope : public ServeTest, public testing::WithParamInterface<envelope_case> {};

TEST_P(ServeEnvelope, Answers) {
  const envelope_case& c = GetParam();
  httplib::Request req;
  req.method = c.method;
  req.path = c.path;
  req.body = c.body;
  if (c.content_type != nullptr) req.set_header("Content-Type", c.content_type);
  httplib::Client client = client_for(plain_->port);
  const auto res = client.send(req);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, c.status) << res->body;
  EXPECT_EQ(res->get_header_value("Content-Type"), c.answer_type);
  EXPECT_EQ(res->get_header_value("Allow"), c.allow);
  EXPECT_EQ(res->get_header_value("X-Request-Id").size(), 16u);
  if (std::string(c.answer_type) == "application/problem+json") {
    const json doc = json::parse(res->body);
    EXPECT_EQ(doc["status"], c.status);
    EXPECT_EQ(doc["type"], "about:blank");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ServeEnvelope, testing::ValuesIn(kEnvelopes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServeTest, CorsAnswersTheOriginItWasGiven) {
  cli::serve_options options;
  options.listen = "127.0.0.1:0";
  options.cors_origin = "https://app.example";
  server s(options);
  httplib::Client client = client_for(s.port);
  const auto preflight = client.Options(
      "/v1/solve", {{"Origin", "https://app.example"}, {"Access-Control-Request-Method", "POST"}});
  ASSERT_TRUE(preflight);
  EXPECT_EQ(preflight->status, 204);
  EXPECT_EQ(preflight->get_header_value("Access-Control-Allow-Origin"), "https://app.example");
  EXPECT_EQ(preflight->get_header_value("Access-Control-Allow-Methods"), "POST, OPTIONS");
  const auto ours = client.Post("/v1/check", {{"Origin", "https://app.example"}},
                                R"({"algorithm":"k_a|1"})", "application/json");
  ASSERT_TRUE(ours);
  EXPECT_EQ(ours->get_header_value("Access-Control-Allow-Origin"), "https://app.example");
  const auto other = client.Post("/v1/check", {{"Origin", "https://other.example"}},
                                 R"({"algorithm":"k_a|1"})", "application/json");
  ASSERT_TRUE(other);
  EXPECT_FALSE(other->has_header("Access-Control-Allow-Origin"));
  // Off by default.
  const auto plain = client_for(plain_->port)
                         .Options("/v1/solve", {{"Origin", "https://app.example"},
                                                {"Access-Control-Request-Method", "POST"}});
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->has_header("Access-Control-Allow-Origin"));
}

// A client's own request id comes back and reaches the log; a missing or
// unusable one is replaced. The metrics count the answers.
TEST_F(ServeTest, RequestIdsAndMetrics) {
  cli::serve_options options;
  options.listen = "127.0.0.1:0";
  server s(options);
  httplib::Client client = client_for(s.port);
  const auto kept = client.Get("/v1/health", {{"X-Request-Id", "job-42.a"}});
  const auto replaced = client.Get("/v1/health", {{"X-Request-Id", "two words"}});
  ASSERT_TRUE(kept && replaced);
  EXPECT_EQ(kept->get_header_value("X-Request-Id"), "job-42.a");
  EXPECT_EQ(replaced->get_header_value("X-Request-Id").size(), 16u);
  client.Post("/v1/solve", R"({"algorithm":"k_a|1"})", "application/json");
  client.Post("/v1/solve", "{", "application/json");
  const char* const counted[] = {
      "zekalg_http_requests_total{endpoint=\"/v1/health\",status=\"200\"} 2",
      "zekalg_http_requests_total{endpoint=\"/v1/solve\",status=\"200\"} 1",
      "zekalg_http_requests_total{endpoint=\"/v1/solve\",status=\"400\"} 1", "zekalg_queue_depth 0",
      "# TYPE zekalg_engine_seconds_total counter"};
  // An answer is counted once it is written, which the client may see a
  // moment before another thread of the server counts it.
  std::string body;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto metrics = client.Get("/metrics");
    ASSERT_TRUE(metrics);
    body = metrics->body;
    if (std::all_of(std::begin(counted), std::end(counted),
                    [&](const char* line) { return body.find(line) != std::string::npos; })) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (const char* line : counted) {
    EXPECT_NE(body.find(line), std::string::npos) << line << "\n" << body;
  }
  // The four above, and the reads of /metrics before this one.
  const std::string count = "zekalg_http_request_duration_seconds_count ";
  ASSERT_NE(body.find(count), std::string::npos) << body;
  EXPECT_GE(std::stoi(body.substr(body.find(count) + count.size())), 4);
  s.halt();
  EXPECT_NE(s.log.str().find("\"id\":\"job-42.a\""), std::string::npos) << s.log.str();
}

// Idle connections and connections that send their header a byte at a time
// hold no worker: with one worker, health and a solve are answered while
// hundreds of them are open.
TEST_F(ServeTest, IdleAndSlowConnectionsHoldNoWorker) {
  cli::serve_options options;
  options.listen = "127.0.0.1:0";
  options.threads = 1;
  server s(options);
  std::vector<int> held;
  for (int i = 0; i < 300; ++i) {
    const int fd = connect_to(s.port);
    ASSERT_GE(fd, 0);
    held.push_back(fd);
    if (i % 15 == 0) {  // a request begun and never finished
      const std::string part = "POST /v1/solve HTTP/1.1\r\nHost: x\r\nContent-Le";
      (void)send(fd, part.data(), part.size(), MSG_NOSIGNAL);
    }
  }
  httplib::Client client = client_for(s.port);
  client.set_read_timeout(5, 0);
  const auto health = client.Get("/v1/health");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
  const auto solved = client.Post("/v1/solve", R"({"algorithm":"k_a|1"})", "application/json");
  ASSERT_TRUE(solved);
  EXPECT_EQ(solved->status, 200);
  for (const int fd : held) close(fd);
}

// A chunked body is held to the limit as it is read, as a declared length is.
TEST_F(ServeTest, ChunkedBodiesAreHeldToTheLimit) {
  const auto chunked = [](const std::string& body, int pieces) {
    std::string bytes =
        "POST /v1/check HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n"
        "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", body.size());
    for (int i = 0; i < pieces; ++i) bytes += size + body + "\r\n";
    return bytes + "0\r\n\r\n";
  };
  const std::string small = talk(plain_->port, chunked(R"({"algorithm":"k_a|1"})", 1));
  EXPECT_TRUE(small.starts_with("HTTP/1.1 200")) << small.substr(0, 200);
  // 1 MB in 4 KiB pieces, against a limit of 64 KiB.
  const std::string large = talk(plain_->port, chunked(std::string(4096, ' '), 256));
  EXPECT_TRUE(large.starts_with("HTTP/1.1 413")) << large.substr(0, 200);
  EXPECT_NE(large.find("\"status\":413"), std::string::npos);
}

TEST_F(ServeTest, BusyPortIsRefused) {
  cli::serve_options options;
  options.listen = "127.0.0.1:" + std::to_string(plain_->port);
  std::ostringstream log;
  cli::http_service second(options, log);
  try {
    second.bind();
    ADD_FAILURE() << "bound a port in use";
  } catch (const cli::command_error& e) {
    EXPECT_NE(std::string(e.what()).find("the port is in use"), std::string::npos) << e.what();
  }
  const std::string err = testing::TempDir() + "serve_busy_" + std::to_string(getpid());
  const int status = std::system(
      (std::string(ZEKALG_COMMAND) + " serve --listen " + options.listen + " 2>" + err).c_str());
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(read_file(err).find("the port is in use"), std::string::npos) << read_file(err);
}

// With the one worker busy and the queue full, a request is answered 503
// with Retry-After at once.
TEST_F(ServeTest, FullQueueAnswers503) {
  cli::serve_options options;
  options.listen = "127.0.0.1:0";
  options.threads = 1;
  options.queue = 1;
  options.limits.time_limit = std::chrono::milliseconds(1500);
  server s(options);
  const std::string slow = R"({"algorithm":"r_a|1|30000\nc_rare|a<2","count":10000,"seed":1})";
  std::vector<std::future<httplib::Result>> clients;
  for (int i = 0; i < 4; ++i) {
    clients.push_back(std::async(std::launch::async, [&] {
      return client_for(s.port).Post("/v1/sample", slow, "application/json");
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::multiset<int> statuses;
  for (auto& c : clients) {
    const httplib::Result res = c.get();
    ASSERT_TRUE(res);
    statuses.insert(res->status);
    if (res->status == 503) {
      EXPECT_EQ(res->get_header_value("Retry-After"), "1");
      EXPECT_EQ(json::parse(res->body)["status"], 503);
    }
  }
  // The two taken run into the time limit.
  EXPECT_EQ(statuses, (std::multiset<int>{422, 422, 503, 503}));
}

// /v1/variants makes the rows sample makes from the same seed, and the
// variants solve makes from given seeds.
TEST_F(ServeTest, VariantsAreTheSampleRowsAndTheSolves) {
  const std::string algorithm = read_file(kSource + "/examples/right_triangle.alg");
  const json sample =
      post_ok("/v1/sample", {{"algorithm", algorithm}, {"count", 400}, {"seed", 7}});
  const json rows =
      post_ok("/v1/variants", {{"algorithm", algorithm}, {"count", 400}, {"seed", 7}});
  ASSERT_EQ(rows["variants"].size(), 400u);
  EXPECT_EQ(rows["summary"]["made"], sample["summary"]["made"]);
  std::map<uint32_t, json> made;
  for (const json& v : rows["variants"]) made[v["seed"]] = v["values"];
  for (const json& row : sample["variants"]) EXPECT_EQ(made[row["seed"]], row["values"]);

  const json solve = post_ok("/v1/solve", {{"algorithm", algorithm}, {"seed", 2026}});
  const json one = post_ok("/v1/variants", {{"algorithm", algorithm}, {"seeds", {2026, -1}}});
  ASSERT_EQ(one["variants"].size(), 2u);
  EXPECT_EQ(one["variants"][1]["seed"], 4294967295u);
  for (const json& r : solve["results"]) {
    EXPECT_EQ(one["variants"][0]["values"][r["request"].get<std::string>()], r["text"]);
  }

  const json failing =
      post_ok("/v1/variants", {{"algorithm", "r_a|2|2\nq_b|a/0|2"}, {"seeds", {1}}});
  EXPECT_EQ(failing["variants"][0]["errors"]["b"]["line"], 2);
  EXPECT_EQ(failing["summary"]["failed"], 1);
}

// The command as a process: SIGTERM lets the request in progress finish,
// then the process exits with status 0.
TEST(ServeCommand, SigtermFinishesTheRequestInProgress) {
  int err_pipe[2];
  ASSERT_EQ(pipe(err_pipe), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(err_pipe[1], STDERR_FILENO);
    close(err_pipe[0]);
    execl(ZEKALG_COMMAND, ZEKALG_COMMAND, "serve", "--listen", "127.0.0.1:0", "--time-limit",
          "3600", nullptr);
    _exit(127);
  }
  close(err_pipe[1]);
  std::string said;
  char c = 0;
  while (said.find('\n') == std::string::npos && read(err_pipe[0], &c, 1) == 1) said += c;
  const std::size_t colon = said.rfind(':');
  ASSERT_NE(colon, std::string::npos) << said;
  const int port = std::stoi(said.substr(colon + 1));

  // A sample that takes a while, sent before the signal.
  auto slow = std::async(std::launch::async, [port] {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60, 0);
    const auto res = client.Post(
        "/v1/sample", R"({"algorithm":"r_a|1|30000\nc_rare|a<40","count":3000,"seed":1})",
        "application/json");
    return res ? res->status : -1;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int idle = connect_to(port);  // closed by the server as it stops
  kill(pid, SIGTERM);
  EXPECT_EQ(slow.get(), 200);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  close(idle);
  std::string rest;
  while (read(err_pipe[0], &c, 1) == 1) rest += c;
  close(err_pipe[0]);
  EXPECT_NE(rest.find("SIGTERM"), std::string::npos) << rest;
  EXPECT_NE(rest.find("\"path\":\"/v1/sample\""), std::string::npos) << rest;
}

}  // namespace
