#include "http/answer_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AnswerBuffer, ChunksFollowEachOther) {
  AnswerBuffer answer;
  ResetAnswer(&answer);
  KeepAnswerBytes(&answer, "uid:", 4);
  KeepAnswerBytes(&answer, "'abc", 4);
  EXPECT_STREQ(answer.text, "uid:'abc");
  EXPECT_EQ(answer.used, 8u);
}

TEST(AnswerBuffer, ALongAnswerKeepsItsFirstBytesAndStaysTerminated) {
  AnswerBuffer answer;
  ResetAnswer(&answer);
  std::string chunk(700, 'a');
  for (int i = 0; i < 4; ++i) KeepAnswerBytes(&answer, chunk.data(), chunk.size());
  EXPECT_EQ(answer.used, kTextCapacity - 1);
  EXPECT_EQ(std::string(answer.text), std::string(kTextCapacity - 1, 'a'));
}

}  // namespace
