// The C surface through the public header: status codes and the result text
// protocol.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "api/registry.h"
#include "test_support.h"
#include "zekalg/zekalg.h"

namespace {

struct solve_result {
  int32_t status;
  std::string text;
  int32_t length;
};

solve_result solve(int32_t id, const char* request, int32_t size = 256) {
  std::string buffer(static_cast<size_t>(size > 0 ? size : 1), '#');
  int32_t length = size;
  const int32_t status = zekalg_solve_var(id, request, buffer.data(), &length);
  return {status, std::string(buffer.c_str()), length};
}

int32_t create(const char* algorithm, int32_t base = 0) {
  char message[256] = "";
  int32_t length = sizeof message;
  return zekalg_create_environment(base, algorithm, message, &length);
}

TEST(Exports, SolveOnIdZeroOrUnknownIsEmptySuccess) {
  for (int32_t id : {0, 2147483000, -5}) {
    const solve_result r = solve(id, "x");
    EXPECT_EQ(r.status, ZEKALG_OK);
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(r.length, 0);
  }
}

TEST(Exports, KilledIdBehavesLikeIdZero) {
  const int32_t id = create("k_a|5");
  ASSERT_GT(id, 0);
  EXPECT_EQ(zekalg_kill_environment(id), 0);
  EXPECT_EQ(zekalg_kill_environment(id), 0);
  const solve_result r = solve(id, "a");
  EXPECT_EQ(r.status, ZEKALG_OK);
  EXPECT_EQ(r.text, "");
}

TEST(Exports, SuccessfulCreateLeavesBufferAndLengthAlone) {
  char message[8] = "keep";
  int32_t length = 8;
  const int32_t id = zekalg_create_environment(0, "k_a|1", message, &length);
  EXPECT_GT(id, 0);
  EXPECT_STREQ(message, "keep");
  EXPECT_EQ(length, 8);
  zekalg_kill_environment(id);
}

TEST(Exports, NullArgumentsNeverCrash) {
  EXPECT_GT(zekalg_create_environment(0, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(zekalg_solve_var(0, nullptr, nullptr, nullptr), ZEKALG_OK);
  int32_t length = 0;
  EXPECT_EQ(zekalg_solve_var16(0, "x", nullptr, &length), ZEKALG_OK);
  EXPECT_EQ(length, 0);
  zekalg_list_capabilities(nullptr);
  zekalg_list_capabilities("anything at all");
}

// A failing create delivers its message by the protocol; the message of an
// undefined condition name is "variable 'nosuchname' not defined" (34 bytes).
struct protocol_case {
  const char* name;
  int32_t size;
  const char* expected_buffer;
};

const char kMessage[] = "variable 'nosuchname' not defined";
const int32_t kMessageLength = sizeof kMessage - 1;

const protocol_case kProtocol[] = {
    {"RoomToSpare", 100, kMessage},
    {"ExactlyFits", kMessageLength + 1, kMessage},
    {"OneShort", kMessageLength, "variable 'nosuchname' not define"},
    {"SizeTen", 10, "variable "},
    {"SizeOne", 1, ""},
};

class ExportsProtocol : public testing::TestWithParam<protocol_case> {};

TEST_P(ExportsProtocol, CopiesWhatFitsAndReportsFullLength) {
  const protocol_case& c = GetParam();
  std::string buffer(static_cast<size_t>(c.size) + 4, '#');
  int32_t length = c.size;
  const int32_t id = zekalg_create_environment(0, "c_x|nosuchname", buffer.data(), &length);
  EXPECT_EQ(id, -1);
  EXPECT_EQ(length, kMessageLength);
  EXPECT_STREQ(buffer.c_str(), c.expected_buffer);
  // Nothing is written past the buffer the host declared.
  EXPECT_EQ(buffer.substr(static_cast<size_t>(c.size)), "####");
}

INSTANTIATE_TEST_SUITE_P(Cases, ExportsProtocol, testing::ValuesIn(kProtocol),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Exports, SizeZeroOrNegativeWritesNothingButTheLength) {
  for (int32_t size : {0, -7}) {
    char buffer[4] = {'#', '#', '#', '#'};
    int32_t length = size;
    EXPECT_EQ(zekalg_create_environment(0, "c_x|nosuchname", buffer, &length), -1);
    EXPECT_EQ(length, kMessageLength);
    EXPECT_EQ(std::string(buffer, 4), "####");
  }
}

TEST(Exports, BothSolveExportsAgree) {
  const int32_t id = create("k_a|-5");
  ASSERT_GT(id, 0);
  char a[32], b[32];
  int32_t la = 32, lb = 32;
  EXPECT_EQ(zekalg_solve_var(id, "a", a, &la), ZEKALG_OK);
  EXPECT_EQ(zekalg_solve_var16(id, "a", b, &lb), ZEKALG_OK);
  EXPECT_STREQ(a, b);
  EXPECT_EQ(std::string(a), kDash + "5");
  zekalg_kill_environment(id);
}

TEST(Exports, AlgorithmErrorIsMinusOneWithMessage) {
  const int32_t id = create("k_a|1");
  ASSERT_GT(id, 0);
  const solve_result r = solve(id, "zz");
  EXPECT_EQ(r.status, ZEKALG_ERROR_ALGORITHM);
  EXPECT_EQ(r.text, "variable 'zz' not defined");
  zekalg_kill_environment(id);
}

}  // namespace
