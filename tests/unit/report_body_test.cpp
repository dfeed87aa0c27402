#include "play/report_body.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string ExpectedReport(const std::string& id) {
  return "reportInfo={\"type\":\"13524\",\t\t\"userId\":\"" + id +
         "\",\t\t\"bId\" : \"3A91C07E52D\",\t\t\"channelId\" : \"000007351\",\t\t"
         "\"pkgName\" : \"com.kestrune.tnls.vantu\",\t\t\"op\" : \"" + id +
         "\",\t\t\"did\" : \"" + id + "\"}";
}

TEST(FormatLaunchReport, ThirtyTwoCharacterIdGivesTheExactBody) {
  char body[kTextCapacity];
  const std::string id = "0123456789abcdef0123456789abcdef";
  ASSERT_TRUE(FormatLaunchReport(body, id.c_str()));
  EXPECT_EQ(std::string(body), ExpectedReport(id));
  EXPECT_EQ(strlen(body), 254u);
}

TEST(FormatLaunchReport, EmptyIdLeavesThreeEmptyValues) {
  char body[kTextCapacity];
  ASSERT_TRUE(FormatLaunchReport(body, ""));
  EXPECT_EQ(std::string(body), ExpectedReport(""));
  EXPECT_EQ(strlen(body), 158u);
}

TEST(FormatLaunchReport, LongestStoredIdStillFits) {
  char body[kTextCapacity];
  const std::string id(kDeviceIdCapacity - 1, 'x');
  ASSERT_TRUE(FormatLaunchReport(body, id.c_str()));
  EXPECT_EQ(std::string(body), ExpectedReport(id));
}

}  // namespace
