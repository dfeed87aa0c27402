#include "identity/uid_answer.h"

#include <gtest/gtest.h>

namespace {

constexpr char kId[] = "0123456789abcdefABCDEF-_ghijklmn";  // 32 characters

struct AnswerCase {
  const char* name;
  std::string answer;
  const char* expected;  // null: refused
};

class ExtractDeviceIdTest : public testing::TestWithParam<AnswerCase> {};

TEST_P(ExtractDeviceIdTest, AcceptsOnlyAWholeWellFormedIdentifier) {
  const AnswerCase& c = GetParam();
  char deviceId[kDeviceIdCapacity];
  memset(deviceId, 'x', sizeof deviceId);
  bool accepted = ExtractDeviceId(c.answer.c_str(), deviceId);
  EXPECT_EQ(accepted, c.expected != nullptr);
  EXPECT_STREQ(deviceId, c.expected != nullptr ? c.expected : "");
}

const std::string id(kId);

INSTANTIATE_TEST_SUITE_P(
    Table, ExtractDeviceIdTest,
    testing::Values(
        AnswerCase{"MarkerIdQuote", "{data:{uid:'" + id + "'}}", kId},
        AnswerCase{"NothingAfterTheId", "uid:'" + id, kId},
        AnswerCase{"LongerValueKeepsThirtyTwo", "uid:'" + id + "XYZ'", kId},
        AnswerCase{"FirstMarkerCounts", "uid:'" + id + "' uid:'" + std::string(32, 'z') + "'", kId},
        AnswerCase{"NoMarker", "{data:{id:'" + id + "'}}", nullptr},
        AnswerCase{"EmptyAnswer", "", nullptr},
        AnswerCase{"MarkerAtTheEnd", "uid:'", nullptr},
        AnswerCase{"ShortIdWithQuote", "uid:'0123456789'}", nullptr},
        AnswerCase{"ThirtyOneCharacters", "uid:'" + id.substr(0, 31), nullptr},
        AnswerCase{"QuoteInside", "uid:'" + id.substr(0, 20) + "'" + id.substr(0, 11), nullptr},
        AnswerCase{"SpaceInside", "uid:'" + id.substr(0, 31) + " ", nullptr},
        AnswerCase{"UrlSyntaxInside", "uid:'" + id.substr(0, 24) + "&x=1#abc", nullptr},
        AnswerCase{"NonAsciiInside", "uid:'" + id.substr(0, 30) + "\xcb\xfe", nullptr},
        AnswerCase{"FirstMarkerBadSecondGood", "uid:'bad' uid:'" + id + "'", nullptr}),
    [](const testing::TestParamInfo<AnswerCase>& info) { return info.param.name; });

}  // namespace
