#include "play/play_url.h"

#include <gtest/gtest.h>

#include <string>

#include "launcher/config.h"

namespace {

struct UrlCase {
  const char* pageUrl;
  const char* deviceId;
  const char* expected;
};

class BuildPlayUrlTest : public testing::TestWithParam<UrlCase> {};

TEST_P(BuildPlayUrlTest, JoinsDidWithTheRightSeparator) {
  const UrlCase& c = GetParam();
  char url[kTextCapacity];
  EXPECT_TRUE(BuildPlayUrl(url, c.pageUrl, c.deviceId));
  EXPECT_STREQ(url, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BuildPlayUrlTest,
    testing::Values(
        UrlCase{"https://p.example/play", "0123456789abcdef0123456789abcdef",
                "https://p.example/play?did=0123456789abcdef0123456789abcdef"},
        UrlCase{"https://p.example/play", "", "https://p.example/play?did="},  // no identifier
        UrlCase{"https://p.example/play?x=1", "abc", "https://p.example/play?x=1&did=abc"},
        UrlCase{"https://p.example/play?", "abc", "https://p.example/play?&did=abc"}));

TEST(BuildPlayUrl, TheConfiguredPageTakesTheQueryDirectly) {
  char url[kTextCapacity];
  EXPECT_TRUE(BuildPlayUrl(url, kPlayUrl, "id"));
  EXPECT_EQ(std::string(url), std::string(kPlayUrl) + "?did=id");
}

TEST(BuildPlayUrl, AUrlThatDoesNotFitIsNotBuilt) {
  char url[kTextCapacity];
  std::string page = "https://p.example/" + std::string(kTextCapacity - 30, 'p');
  EXPECT_FALSE(BuildPlayUrl(url, page.c_str(), "0123456789abcdef0123456789abcdef"));
  EXPECT_STREQ(url, "");
}

}  // namespace
