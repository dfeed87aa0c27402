#include "http/codepage.h"

#include <gtest/gtest.h>
#include <string.h>
#include <windows.h>

#include <string>

namespace {

// "塔内利斯" in code page 936 and in UTF-8.
const char kGbk[] = "\xcb\xfe\xc4\xda\xc0\xfb\xcb\xb9";
const char kUtf8[] = "\xe5\xa1\x94\xe5\x86\x85\xe5\x88\xa9\xe6\x96\xaf";

TEST(CodePage, TheSandboxRunsUnderCodePage936) { ASSERT_EQ(GetACP(), 936u); }

struct RoundTrip {
  const char* ansi;
  const char* utf8;
};

class ConversionTest : public testing::TestWithParam<RoundTrip> {};

TEST_P(ConversionTest, ConvertsBothWays) {
  const RoundTrip& c = GetParam();
  char utf8[64];
  char ansi[64];
  memset(utf8, 'x', sizeof utf8);
  memset(ansi, 'x', sizeof ansi);
  EXPECT_EQ(AnsiToUtf8(c.ansi, utf8, sizeof utf8), utf8);
  EXPECT_STREQ(utf8, c.utf8);
  EXPECT_EQ(Utf8ToAnsi(c.utf8, ansi, sizeof ansi), ansi);
  EXPECT_STREQ(ansi, c.ansi);
}

INSTANTIATE_TEST_SUITE_P(Table, ConversionTest,
                         testing::Values(RoundTrip{"", ""},                      // empty
                                         RoundTrip{"did=abc&x=1", "did=abc&x=1"},  // ASCII
                                         RoundTrip{kGbk, kUtf8}));               // two-byte GBK

TEST(AnsiToUtf8, ABodyThatDoesNotFitIsRefusedAndTheDestinationUntouched) {
  char utf8[12];  // the UTF-8 form needs 13 bytes with its terminator
  memset(utf8, 'x', sizeof utf8);
  EXPECT_EQ(AnsiToUtf8(kGbk, utf8, sizeof utf8), nullptr);
  EXPECT_EQ(std::string(utf8, sizeof utf8), std::string(sizeof utf8, 'x'));
}

struct Bounded {
  size_t capacity;
  const char* expected;
};

class Utf8ToAnsiBoundTest : public testing::TestWithParam<Bounded> {};

TEST_P(Utf8ToAnsiBoundTest, KeepsLeadingWholeCharacters) {
  const Bounded& c = GetParam();
  char ansi[16];
  memset(ansi, 'x', sizeof ansi);
  Utf8ToAnsi(kUtf8, ansi, c.capacity);
  EXPECT_STREQ(ansi, c.expected);
  EXPECT_EQ(std::string(ansi + c.capacity, sizeof ansi - c.capacity),
            std::string(sizeof ansi - c.capacity, 'x'));
}

INSTANTIATE_TEST_SUITE_P(Table, Utf8ToAnsiBoundTest,
                         testing::Values(Bounded{1, ""},                   // room for the terminator only
                                         Bounded{2, ""},                   // half a character never kept
                                         Bounded{4, "\xcb\xfe"},           // one character
                                         Bounded{5, "\xcb\xfe\xc4\xda"},   // two characters exactly
                                         Bounded{9, kGbk}));               // exactly fits

TEST(Utf8ToAnsi, InvalidUtf8NeverOverrunsTheDestination) {
  char ansi[8];
  memset(ansi, 'x', sizeof ansi);
  Utf8ToAnsi("\xff\xfe\xfd\xfc\xfb\xfa\xf9\xf8\xf7\xf6", ansi, 6);
  EXPECT_LT(strlen(ansi), 6u);
  EXPECT_EQ(std::string(ansi + 6, 2), "xx");
}

// Longer than the conversions' 8000-unit intermediate.
std::string Repeated(const char* piece, size_t bytes) {
  std::string text;
  while (text.size() < bytes) text += piece;
  return text;
}

TEST(AnsiToUtf8, ATextTooLongToConvertIsRefused) {
  char utf8[64];
  memset(utf8, 'x', sizeof utf8);
  for (const std::string& text : {Repeated("a", 8000), Repeated(kGbk, 20000)}) {
    EXPECT_EQ(AnsiToUtf8(text.c_str(), utf8, sizeof utf8), nullptr) << text.size();
    EXPECT_EQ(std::string(utf8, sizeof utf8), std::string(sizeof utf8, 'x'));
  }
}

TEST(Utf8ToAnsi, ATextTooLongToConvertKeepsItsLeadingWholeCharacters) {
  struct Case {
    std::string utf8;
    size_t capacity;
    std::string ansi;
  };
  const Case cases[] = {
      {Repeated("a", 9000), 16, std::string(15, 'a')},
      // The intermediate's limit falls between two characters here...
      {"a" + Repeated(kUtf8, 9000), 8, "a\xcb\xfe\xc4\xda\xc0\xfb"},
      // ...and inside one here; 511 whole two-byte characters fit in 1024.
      {Repeated(kUtf8, 9000), 1024, Repeated(kGbk, 1022).substr(0, 1022)},
  };
  for (const Case& c : cases) {
    char ansi[1024];
    Utf8ToAnsi(c.utf8.c_str(), ansi, c.capacity);
    EXPECT_EQ(std::string(ansi), c.ansi) << c.utf8.size() << " bytes into " << c.capacity;
  }
}

}  // namespace
