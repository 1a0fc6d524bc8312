// The shared text helpers: atoi's reading of a leading integer without its
// overflow, and the hyphens dropped from world wide names.
#include "zarn/store/text.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(LeadingInt, ReadsAsAtoiWithinTheIntRange) {
  const struct {
    const char* text;
    int expected;
  } cases[] = {
      {"5989", 5989},       {"  42abc", 42},     {"+7", 7},
      {"-3", -3},           {"", 0},             {"abc", 0},
      {"0x10", 0},          {"12 34", 12},       {"2147483647", INT_MAX},
      {"2147483648", INT_MAX}, {"99999999999999999999", INT_MAX},
      {"-2147483649", INT_MIN}, {"-99999999999999999999", INT_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, leadingInt(c.text)) << '"' << c.text << '"';
}

TEST(RemoveHyphen, DropsEveryDash) {
  EXPECT_EQ("50014380025B4A80", removeHyphen("5001-4380-025B-4A80"));
  EXPECT_EQ("50014380025B4A80", removeHyphen("--50-014380025B4A-80-"));
  EXPECT_EQ("6001438002A3", removeHyphen("-6001-4380--02A3-"));
  EXPECT_EQ("", removeHyphen("---"));
}

}  // namespace
