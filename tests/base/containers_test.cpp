#include <gtest/gtest.h>

#include <string>

#include "base/alg_array.h"
#include "base/alg_hash.h"
#include "base/errors.h"
#include "test_support.h"
#include "value/alg_value.h"

namespace {

// ------------------------------------------------------------- alg_array

TEST(AlgArray, NewArrayIsNotSized) {
  alg_array<alg_string> a;
  EXPECT_EQ(a.count(), 0u);
  EXPECT_EQ(a.low(), 1u);
  EXPECT_EQ(a.high(), 0u);
  EXPECT_THROW((void)a[1], z_x_arraynotsized);
  EXPECT_THROW((void)a[0], z_x_arraynotsized);
  const alg_array<alg_string>& c = a;
  EXPECT_THROW((void)c[1], z_x_arraynotsized);
}

TEST(AlgArray, NotSizedIsNotOutOfBounds) {
  alg_array<alg_string> a;
  bool bounds = false;
  bool not_sized = false;
  try {
    (void)a[1];
  } catch (const z_x_outofbounds&) {
    bounds = true;
  } catch (const z_x_arraynotsized&) {
    not_sized = true;
  }
  EXPECT_FALSE(bounds);
  EXPECT_TRUE(not_sized);
}

TEST(AlgArray, DimGivesFreshElementsAndChecksBounds) {
  alg_array<alg_string> a;
  a.dim(1, 3);
  EXPECT_EQ(a.count(), 3u);
  EXPECT_EQ(a.low(), 1u);
  EXPECT_EQ(a.high(), 3u);
  for (uint32_t i = 1; i <= 3; ++i) EXPECT_TRUE(a[i].empty()) << i;
  EXPECT_THROW((void)a[0], z_x_outofbounds);
  EXPECT_THROW((void)a[4], z_x_outofbounds);
  EXPECT_THROW((void)a[0xFFFFFFFFu], z_x_outofbounds);
}

TEST(AlgArray, DimDiscardsOldElements) {
  alg_array<alg_string> a;
  a.dim(1, 2);
  a[1] = "a";
  a[2] = "b";
  a.dim(1, 2);
  EXPECT_TRUE(a[1].empty());
  EXPECT_TRUE(a[2].empty());
}

TEST(AlgArray, DimFromZero) {
  alg_array<alg_string> a;
  a.dim(0, 0);
  EXPECT_EQ(a.count(), 1u);
  a[0] = "z";
  EXPECT_EQ(B(a[0]), "z");
  EXPECT_THROW((void)a[1], z_x_outofbounds);
}

TEST(AlgArray, RedimKeepsOverlap) {
  alg_array<alg_string> a;
  a.dim(1, 3);
  a[1] = "a";
  a[2] = "b";
  a[3] = "c";
  a.redim(2, 5);
  EXPECT_EQ(a.count(), 4u);
  EXPECT_EQ(a.low(), 2u);
  EXPECT_EQ(a.high(), 5u);
  EXPECT_EQ(B(a[2]), "b");
  EXPECT_EQ(B(a[3]), "c");
  EXPECT_TRUE(a[4].empty());
  EXPECT_TRUE(a[5].empty());
  EXPECT_THROW((void)a[1], z_x_outofbounds);
  EXPECT_THROW((void)a[6], z_x_outofbounds);
}

TEST(AlgArray, RedimShrinksAndGrowsDownward) {
  alg_array<alg_string> a;
  a.dim(5, 7);
  a[5] = "5";
  a[6] = "6";
  a[7] = "7";
  a.redim(1, 6);
  EXPECT_TRUE(a[1].empty());
  EXPECT_TRUE(a[4].empty());
  EXPECT_EQ(B(a[5]), "5");
  EXPECT_EQ(B(a[6]), "6");
  EXPECT_THROW((void)a[7], z_x_outofbounds);
}

TEST(AlgArray, RedimDisjointRangeIsAllFresh) {
  alg_array<alg_string> a;
  a.dim(1, 2);
  a[1] = "a";
  a[2] = "b";
  a.redim(3, 4);
  EXPECT_TRUE(a[3].empty());
  EXPECT_TRUE(a[4].empty());
}

TEST(AlgArray, RedimOfNotSizedIsDim) {
  alg_array<alg_string> a;
  a.redim(1, 2);
  EXPECT_EQ(a.count(), 2u);
  EXPECT_TRUE(a[1].empty());
  EXPECT_TRUE(a[2].empty());
}

TEST(AlgArray, RedimToEmptyRangeLeavesItNotSized) {
  alg_array<alg_string> a;
  a.dim(1, 3);
  a[1] = "a";
  a.redim(1, 0);
  EXPECT_EQ(a.count(), 0u);
  EXPECT_THROW((void)a[1], z_x_arraynotsized);
  EXPECT_THROW((void)a[0], z_x_arraynotsized);
  // and it can be sized again, with fresh elements
  a.redim(1, 1);
  EXPECT_TRUE(a[1].empty());
}

TEST(AlgArray, DimToEmptyRangeLeavesItNotSized) {
  alg_array<alg_string> a;
  a.dim(1, 3);
  a.dim(1, 0);
  EXPECT_EQ(a.count(), 0u);
  EXPECT_THROW((void)a[1], z_x_arraynotsized);
}

TEST(AlgArray, ElementsKeepTheirAddressAcrossRedim) {
  alg_array<alg_string> a;
  a.dim(1, 2);
  const alg_string* second = &a[2];
  a.redim(1, 10);
  EXPECT_EQ(&a[2], second);
}

TEST(AlgArray, FreshValueElementsAreEmptyTexts) {
  alg_array<alg_value> a;
  a.dim(1, 2);
  EXPECT_TRUE(a[1].is_text());
  EXPECT_TRUE(a[1].text().empty());
  a[1].set_integer(5);
  a.redim(1, 3);
  EXPECT_TRUE(a[1].is_integer());
  EXPECT_TRUE(a[3].is_text());
}

TEST(AlgArray, CopyIsDeep) {
  alg_array<alg_string> a;
  a.dim(1, 2);
  a[1] = "a";
  alg_array<alg_string> b = a;
  b[1] = "changed";
  EXPECT_EQ(B(a[1]), "a");
  EXPECT_EQ(B(b[1]), "changed");
  EXPECT_EQ(b.low(), 1u);
  EXPECT_EQ(b.high(), 2u);
  alg_array<alg_string> c;
  c = a;
  EXPECT_EQ(B(c[1]), "a");
  c = c;
  EXPECT_EQ(B(c[1]), "a");
}

TEST(AlgArray, PushBackAndClear) {
  alg_array<alg_string> a;
  a.push_back(alg_string("x"));
  a.push_back(alg_string("y"));
  EXPECT_EQ(a.count(), 2u);
  EXPECT_EQ(a.high(), 2u);
  EXPECT_EQ(B(a[1]), "x");
  EXPECT_EQ(B(a[2]), "y");
  a.clear();
  EXPECT_EQ(a.count(), 0u);
  EXPECT_THROW((void)a[1], z_x_arraynotsized);
}

// -------------------------------------------------------------- alg_hash

TEST(AlgHash, FindOrAddAddsOnce) {
  alg_hash h;
  EXPECT_EQ(h.count(), 0);
  alg_string& v = h.find_or_add("x");
  EXPECT_EQ(h.count(), 1);
  EXPECT_TRUE(v.empty());
  v = "3";
  alg_string& again = h.find_or_add("x");
  EXPECT_EQ(h.count(), 1);
  EXPECT_EQ(&again, &v);
  EXPECT_EQ(B(again), "3");
}

TEST(AlgHash, KeysAreCaseSensitive) {
  alg_hash h;
  h.find_or_add("x") = "lower";
  alg_string& upper = h.find_or_add("X");
  EXPECT_EQ(h.count(), 2);
  EXPECT_TRUE(upper.empty());
  EXPECT_EQ(B(h.find_or_add("x")), "lower");
  EXPECT_EQ(h.count(), 2);
}

TEST(AlgHash, KeysCompareAllBytes) {
  alg_hash h;
  h.find_or_add("ab") = "1";
  h.find_or_add("a") = "2";
  h.find_or_add(S(std::string("a\0", 2))) = "3";
  EXPECT_EQ(h.count(), 3);
  EXPECT_EQ(B(h.find_or_add("ab")), "1");
  EXPECT_EQ(B(h.find_or_add("a")), "2");
  EXPECT_EQ(B(h.find_or_add("")), "");
  EXPECT_EQ(h.count(), 4);
}

TEST(AlgHash, ReferencesStayValidWhileGrowing) {
  alg_hash h;
  alg_string& first = h.find_or_add("k0");
  first = "v0";
  for (int i = 1; i < 50; ++i) h.find_or_add(S("k" + std::to_string(i))) = S(std::to_string(i));
  EXPECT_EQ(h.count(), 50);
  EXPECT_EQ(B(first), "v0");
  EXPECT_EQ(&h.find_or_add("k0"), &first);
  EXPECT_EQ(B(h.find_or_add("k49")), "49");
}

TEST(AlgHash, ClearEmpties) {
  alg_hash h;
  h.find_or_add("x") = "1";
  h.find_or_add("y") = "2";
  h.clear();
  EXPECT_EQ(h.count(), 0);
  EXPECT_TRUE(h.find_or_add("x").empty());
  EXPECT_EQ(h.count(), 1);
}

}  // namespace
