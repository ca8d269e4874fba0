// The tools' C interface as a binding sees it: JSON documents out of the
// shared library, for good calls and for calls that cannot run.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "zekalg/tools.h"

namespace {

using nlohmann::json;

json taken(char* answer) {
  EXPECT_NE(answer, nullptr);
  const std::unique_ptr<char, void (*)(char*)> owned(answer, zekalg_tools_free);
  return answer != nullptr ? json::parse(answer) : json();
}

json sample(const char* algorithm, const char* base, int64_t count, int64_t seed, int threads,
            const char* names = nullptr) {
  return taken(
      zekalg_tools_sample(algorithm, nullptr, base, nullptr, names, count, seed, threads, 0));
}

json variant(const char* algorithm, const char* base, int64_t seed, const char* requests = nullptr,
             int32_t flags = 0) {
  return taken(zekalg_tools_variant(algorithm, nullptr, base, nullptr, requests, seed, flags));
}

constexpr const char* kQuestion = "r_a|-9|9\nr_b|1|20\nc_c1|a<>0\nq_s|a*b|0\nq_t|1/(a-b-0.5)|3";
constexpr const char* kBase = "r_x|1|99\nk_g|9.81";

// Every row of a sample comes back as the variant of its seed, and the rows
// are the same for any number of threads.
TEST(ToolsApi, RowsComeBackByTheirSeedOnAnyNumberOfThreads) {
  for (const char* base : {static_cast<const char*>(nullptr), kBase}) {
    const json one = sample(kQuestion, base, 300, 42, 1);
    ASSERT_EQ(one["variants"].size(), 300u) << one["failures"].dump();
    for (const int threads : {2, 3, 0}) {
      const json many = sample(kQuestion, base, 300, 42, threads);
      EXPECT_EQ(many["variants"], one["variants"]) << threads;
      EXPECT_EQ(many["histograms"], one["histograms"]) << threads;
    }
    for (const std::size_t row : {0u, 1u, 299u}) {
      const json& r = one["variants"][row];
      const json v = variant(kQuestion, base, r["seed"].get<int64_t>());
      json values = json::object();
      for (const json& result : v["results"]) values[result["request"]] = result["text"];
      EXPECT_EQ(values, r["values"]) << row;
    }
  }
  // Rows as arrays are the same rows.
  const json arrays = taken(zekalg_tools_sample(kQuestion, nullptr, kBase, nullptr, nullptr, 300,
                                                42, 2, ZEKALG_TOOLS_ROW_ARRAYS));
  const json objects = sample(kQuestion, kBase, 300, 42, 1);
  ASSERT_EQ(arrays["rows"].size(), objects["variants"].size());
  for (std::size_t i = 0; i < arrays["rows"].size(); ++i) {
    const json& row = arrays["rows"][i];
    const json& v = objects["variants"][i];
    EXPECT_EQ(row[0], v["row"]);
    EXPECT_EQ(row[1], v["seed"]);
    for (std::size_t j = 0; j < objects["variables"].size(); ++j) {
      EXPECT_EQ(row[j + 2], v["values"][objects["variables"][j].get<std::string>()]);
    }
  }
  // A sample taken in parts is the sample taken whole.
  json parts = json::array();
  for (const int64_t first : {1, 101, 201}) {
    const json part = taken(zekalg_tools_sample_rows(kQuestion, nullptr, kBase, nullptr, nullptr,
                                                     first, 100, 42, 2, ZEKALG_TOOLS_ROW_ARRAYS));
    for (const json& row : part["rows"]) parts.push_back(row);
  }
  EXPECT_EQ(parts, arrays["rows"]);
  // A base is built after the row's seed, so its draws move the question's.
  EXPECT_NE(sample("q_y|x*2|0", kBase, 3, 1, 1)["variants"][1]["values"]["y"],
            sample("q_y|x*2|0", kBase, 3, 1, 1)["variants"][2]["values"]["y"]);
}

TEST(ToolsApi, FailuresArePlacedInTheirFile) {
  const json v = variant("q_a|1\nq_b|1/0|2\nq_c|b+1|1", nullptr, 5);
  ASSERT_EQ(v["failures"]["errors"].size(), 1u) << v.dump();
  EXPECT_EQ(v["failures"]["errors"][0]["line"], 2);
  EXPECT_EQ(v["failures"]["cascade"][0]["variable"], "c");

  const json in_base = variant("q_y|x", "k_z|1\nq_x|1/0|1", 5);
  EXPECT_EQ(in_base["results"][0]["source"], "base") << in_base.dump();
  EXPECT_EQ(in_base["results"][0]["line"], 2);

  // Characters a formula cannot read as meant are named where they are.
  const json tabbed = variant("k_a|1\nq_x|\ta*2|0", "k_b|\"\t\"\nk_c|1\xC2\xA0", 5);
  EXPECT_EQ(tabbed["warnings"], json::parse(R"([
      {"source":"algorithm","line":2,"column":5,"message":"a tab: the engine reads it as part of a name or number, not as a space: use spaces"},
      {"source":"base","line":2,"column":6,"message":"a non-breaking space: the engine does not read it as a space (it comes with text pasted from a word processor): type a plain space"}])"));
  EXPECT_FALSE(variant("k_a|1", nullptr, 5).contains("warnings"));

  const json failed = variant("r_a|1|2\nc_c|a>5", nullptr, 5);
  EXPECT_EQ(failed["created"], false);
  EXPECT_EQ(failed["error"]["line"], 2) << failed.dump();
}

TEST(ToolsApi, TextsConvertBothWays) {
  EXPECT_EQ(variant("q_m|0-4|0\nk_t|\"caf\xC3\xA9 \xE2\x80\x93\"", nullptr, 1)["results"],
            json::parse(R"([{"request":"m","status":"ok","text":"\u20134"},
                            {"request":"t","status":"ok","text":"café –"}])"));
  EXPECT_EQ(
      variant("q_m|0-4|0", nullptr, 1, nullptr, ZEKALG_TOOLS_ASCII_MINUS)["results"][0]["text"],
      "-4");
  EXPECT_EQ(variant("k_t|\"caf\xE9\"", nullptr, 1, nullptr,
                    ZEKALG_TOOLS_ENGINE_BYTES)["results"][0]["text"],
            "café");
}

// Calls that cannot run answer {"error": ...}, never a crash or an empty
// document.
TEST(ToolsApi, CallsThatCannotRunSayWhy) {
  struct bad {
    json answer;
    const char* message;
    const char* source;
    int line;
  };
  const bad cases[] = {
      {variant("q_a|1\nq_b|\xFF", nullptr, 1), "algorithm.alg:2:", "algorithm", 2},
      {variant("q_a|1", "k_b|\xE2\x82", 1), "base.alg:1:", "base", 1},
      {variant("q_a|1", nullptr, int64_t{1} << 40), "the seed must be", "algorithm", 0},
      {variant("q_a|1", nullptr, 1, "\xC0"), "request 1:", "algorithm", 0},
      {sample("q_a|1", nullptr, 0, 1, 1), "the count must be", "algorithm", 0},
      {sample("q_a|1", nullptr, 5, 1, 1, "a\nzz"), "no variable 'zz'", "algorithm", 0},
      {taken(zekalg_tools_sample_rows("q_a|1", nullptr, nullptr, nullptr, nullptr, 0, 5, 1, 1, 0)),
       "the first row must be", "algorithm", 0},
      {taken(zekalg_tools_check("q_a|1", nullptr, nullptr, nullptr, -1, 0)), "creations must",
       "algorithm", 0},
      {taken(zekalg_tools_test("q_a|1", nullptr, nullptr, nullptr, "nonsense\n", 0, 0)),
       "test:1: expected @base", "algorithm", 0},
  };
  for (const bad& c : cases) {
    ASSERT_TRUE(c.answer.contains("error")) << c.answer.dump();
    EXPECT_NE(c.answer["error"]["message"].get<std::string>().find(c.message), std::string::npos)
        << c.answer.dump();
    EXPECT_EQ(c.answer["error"]["source"], c.source) << c.answer.dump();
    EXPECT_EQ(c.answer["error"]["line"], c.line) << c.answer.dump();
  }
}

// What a binding needs to explain an error of its own environments.
TEST(ToolsApi, DescribeNamesTheVariablesAndPlacesAMessage) {
  const auto describe = [](const char* message) {
    return taken(zekalg_tools_describe("k_a|1\nf_g|x+1|x\nq_B|a/0|1\nq_b|2", "r_z|1|3\nq_w|1/0",
                                       message, 0));
  };
  EXPECT_EQ(describe(nullptr), json::parse(R"({"variables":["a","B"]})"));
  EXPECT_EQ(describe("B: error while evaluating '/': division by zero")["place"],
            json::parse(R"({"source":"algorithm","line":3,"variable":"B"})"));
  EXPECT_EQ(describe("w: error while evaluating '/': division by zero")["place"],
            json::parse(R"({"source":"base","line":2,"variable":"w"})"));
  EXPECT_EQ(describe("missing/illegal operand")["place"],
            json::parse(R"({"source":"algorithm","line":0,"variable":null})"));
}

TEST(ToolsApi, CheckAndQuestionTests) {
  const json checked =
      taken(zekalg_tools_check("q_a|1\nq_b|a+zz|1", "q.alg", nullptr, nullptr, 20, 0));
  ASSERT_GE(checked["errors"], 1) << checked.dump();
  EXPECT_EQ(checked["diagnostics"][0]["line"], 2);
  EXPECT_EQ(checked["diagnostics"][0]["source"], "algorithm");

  const json recorded =
      taken(zekalg_tools_test(kQuestion, "q.alg", nullptr, nullptr, nullptr, 4, 0));
  ASSERT_TRUE(recorded.contains("text")) << recorded.dump();
  const std::string text = recorded["text"];
  const json same =
      taken(zekalg_tools_test(kQuestion, "q.alg", nullptr, nullptr, text.c_str(), 0, 0));
  EXPECT_EQ(same["passed"], true) << same.dump();
  EXPECT_EQ(same["variants"].size(), 4u);
  const json changed =
      taken(zekalg_tools_test("r_a|-9|9\nr_b|1|20\nc_c1|a<>0\nq_s|a*b+1|0\nq_t|1/(a-b-0.5)|3",
                              "q.alg", nullptr, nullptr, text.c_str(), 0, 0));
  EXPECT_EQ(changed["passed"], false);
  EXPECT_EQ(changed["variants"][0]["passed"], false);
}

}  // namespace

// Grading through the C interface: one response per line (an empty one
// too), a line feed at the end closing the last, the view without
// responses, and the responses' count checked.
TEST(ToolsApi, GradeTakesOneResponsePerLine) {
  const char* question = "r_a|-9|-1\nq_b|a*2|1\nk_u|\"cm\"\n?numeric|b|abs 0.1\n?text|u|loose";
  const auto grade = [&](const char* responses, int32_t flags = 0) {
    return taken(zekalg_tools_grade(question, nullptr, nullptr, nullptr, 5, responses, flags));
  };
  const json view = grade(nullptr);
  ASSERT_EQ(view["parts"].size(), 2u) << view.dump();
  EXPECT_FALSE(view.contains("verdicts"));
  const std::string shown = view["parts"][0]["answer"];  // en dash
  EXPECT_EQ(grade((shown + "\r\n C M\n").c_str())["right"], 2);
  const std::string plain = grade(nullptr, ZEKALG_TOOLS_ASCII_MINUS)["parts"][0]["answer"];
  EXPECT_EQ(plain.front(), '-');
  EXPECT_EQ(grade((plain + "\nkm").c_str())["verdicts"],
            json::parse(R"([{"part":1,"result":"right"},{"part":2,"result":"wrong"}])"));
  EXPECT_EQ(grade("\ncm")["verdicts"][0],
            json::parse(R"({"part":1,"result":"unreadable","reason":"give a number"})"));
  EXPECT_EQ(grade("1\n2\n3")["error"]["message"], "3 responses for 2 parts");
  EXPECT_EQ(grade("1")["error"]["message"], "1 response for 2 parts");
  EXPECT_EQ(taken(zekalg_tools_grade("r_a|1|9", nullptr, nullptr, nullptr, ZEKALG_TOOLS_NO_SEED,
                                     nullptr, 0))["error"]["line"],
            0);
}
