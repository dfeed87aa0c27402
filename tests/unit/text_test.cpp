#include "launcher/text.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

// A buffer with a guard region after it, to see any write past the end.
struct Guarded {
  char text[8];
  char guard[8];
};

Guarded MakeGuarded(const char* start) {
  Guarded g;
  memset(&g, 'G', sizeof g);
  strcpy(g.text, start);
  return g;
}

bool GuardIntact(const Guarded& g) {
  for (char c : g.guard) {
    if (c != 'G') return false;
  }
  return true;
}

struct CopyCase {
  const char* source;
  bool fits;
  const char* result;
};

class CopyTextTest : public testing::TestWithParam<CopyCase> {};

TEST_P(CopyTextTest, CopiesOnlyWhatFitsWhole) {
  const CopyCase& c = GetParam();
  Guarded g = MakeGuarded("old");
  EXPECT_EQ(CopyText(g.text, c.source), c.fits);
  EXPECT_STREQ(g.text, c.result);
  EXPECT_TRUE(GuardIntact(g));
}

INSTANTIATE_TEST_SUITE_P(Table, CopyTextTest,
                         testing::Values(CopyCase{"", true, ""},                 // empty source
                                         CopyCase{"abcdefg", true, "abcdefg"},   // exactly fills
                                         CopyCase{"abcdefgh", false, ""},        // one too many
                                         CopyCase{"abcdefghijkl", false, ""}));  // far too long

struct AppendCase {
  const char* start;
  const char* source;
  bool fits;
  const char* result;
};

class AppendTextTest : public testing::TestWithParam<AppendCase> {};

TEST_P(AppendTextTest, AppendsAllOrNothing) {
  const AppendCase& c = GetParam();
  Guarded g = MakeGuarded(c.start);
  EXPECT_EQ(AppendText(g.text, c.source), c.fits);
  EXPECT_STREQ(g.text, c.result);
  EXPECT_TRUE(GuardIntact(g));
}

INSTANTIATE_TEST_SUITE_P(Table, AppendTextTest,
                         testing::Values(AppendCase{"", "abc", true, "abc"},
                                         AppendCase{"abc", "defg", true, "abcdefg"},  // exactly fills
                                         AppendCase{"abc", "defgh", false, "abc"},    // one too many
                                         AppendCase{"abcdefg", "", true, "abcdefg"},  // full, empty tail
                                         AppendCase{"abcdefg", "x", false, "abcdefg"}));

TEST(AppendText, RefusesADestinationWithoutTerminator) {
  Guarded g;
  memset(&g, 'G', sizeof g);
  EXPECT_FALSE(AppendText(g.text, "x"));
  EXPECT_TRUE(GuardIntact(g));
}

TEST(AppendPathPart, RefusesAPathWithoutTerminator) {
  Guarded g;
  memset(&g, 'G', sizeof g);
  EXPECT_FALSE(AppendPathPart(g.text, "x"));
  EXPECT_TRUE(GuardIntact(g));
}

TEST(AppendPathPart, JoinsWithOneBackslash) {
  char path[16] = "C:\\Users";
  EXPECT_TRUE(AppendPathPart(path, "me"));
  EXPECT_STREQ(path, "C:\\Users\\me");
}

TEST(AppendPathPart, LeavesThePathAsItWasWhenTheNameDoesNotFit) {
  // The backslash fits but the name does not: no half-joined path is left.
  char path[12] = "C:\\Users";
  EXPECT_FALSE(AppendPathPart(path, "someone"));
  EXPECT_STREQ(path, "C:\\Users");
}

TEST(FormatText, FormatsWithTheUsualRules) {
  char buffer[kTextCapacity];
  EXPECT_TRUE(FormatText(buffer, "%s-%s", "a", ""));
  EXPECT_STREQ(buffer, "a-");
}

TEST(FormatText, TextThatExactlyFillsTheBufferIsKept) {
  char buffer[kTextCapacity];
  std::string fill(kTextCapacity - 1, 'x');
  EXPECT_TRUE(FormatText(buffer, "%s", fill.c_str()));
  EXPECT_EQ(std::string(buffer), fill);
}

TEST(FormatText, OverflowLeavesAnEmptyBufferNotACutShortText) {
  char buffer[kTextCapacity];
  std::string fill(kTextCapacity, 'x');
  EXPECT_FALSE(FormatText(buffer, "%s", fill.c_str()));
  EXPECT_STREQ(buffer, "");
  EXPECT_FALSE(FormatText(buffer, "%s%s", fill.c_str(), fill.c_str()));
  EXPECT_STREQ(buffer, "");
}

}  // namespace
