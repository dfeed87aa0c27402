#include "http/post_form.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wininet.h>

#include <string>

namespace {

// The sandbox tells where the stand-in service's mode file and request log
// are, and which host name reaches it.
std::string Env(const char* name) {
  const char* value = getenv(name);
  return value != nullptr ? value : "";
}

void SetServiceMode(const char* mode) {
  FILE* f = fopen(Env("STANDIN_MODE_FILE").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs(mode, f);
  fclose(f);
}

std::string ServiceLog() {
  std::string log;
  FILE* f = fopen(Env("STANDIN_LOG").c_str(), "rb");
  if (f == nullptr) return log;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) log.append(chunk, n);
  fclose(f);
  return log;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// Requests that reached the service, the empty connectivity checks left out.
size_t RequestsReceived() {
  Sleep(300);  // the service logs a request once its answer is out
  return Count(ServiceLog(), "\"empty\": false");
}

// The failure notifications posted to this thread, with the last one's code.
int TakeNotifications(WPARAM* code) {
  int count = 0;
  MSG message;
  while (PeekMessageA(&message, NULL, 10000, 10000, PM_REMOVE)) {
    *code = message.wParam;
    ++count;
  }
  return count;
}

HttpPostRequest IdentityRequest(const std::string& host) {
  HttpPostRequest request;
  memset(&request, 0, sizeof request);
  CopyText(request.url, ("http://" + host).c_str());
  CopyText(request.host, host.c_str());
  CopyText(request.path, "app/getuid");
  request.notifyMessage = 10000;
  return request;
}

struct AnswerCase {
  const char* mode;
  const char* responseStart;  // what the response must begin with
  size_t minimumLength;
};

class PostFormAnswerTest : public testing::TestWithParam<AnswerCase> {};

TEST_P(PostFormAnswerTest, HandsBackTheBodyWithoutNotification) {
  const AnswerCase& c = GetParam();
  SetServiceMode(c.mode);
  char response[kTextCapacity];
  memset(response, 'x', sizeof response);
  PostForm(IdentityRequest(Env("STANDIN_HOST")), response, sizeof response);
  WPARAM code = 0;
  EXPECT_EQ(TakeNotifications(&code), 0);
  EXPECT_EQ(std::string(response).rfind(c.responseStart, 0), 0u) << response;
  EXPECT_GE(strlen(response), c.minimumLength);
  EXPECT_LT(strlen(response), sizeof response);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PostFormAnswerTest,
    testing::Values(AnswerCase{"normal", "{\"code\":0,\"data\":{uid:'", 56},
                    AnswerCase{"status500", "{\"code\":0,\"data\":{uid:'", 56},  // error status, body kept
                    AnswerCase{"empty-body", "", 0},
                    AnswerCase{"huge", "{\"code\":0,\"data\":{uid:'", kTextCapacity - 1},  // first 1023 bytes
                    AnswerCase{"cut-midway", "{\"code\":0", 56}));  // the bytes read before the cut

TEST(PostForm, AnEmptyBodyIsSentWithLengthZero) {
  SetServiceMode("normal");
  PostForm(IdentityRequest(Env("STANDIN_HOST")), nullptr, 0);
  RequestsReceived();
  std::string log = ServiceLog();
  EXPECT_NE(log.find("[\"Content-Length\", \"0\"]"), std::string::npos) << log;
}

TEST(PostForm, ANullResponseReadsTheAnswerAndDropsIt) {
  SetServiceMode("normal");
  size_t before = RequestsReceived();
  PostForm(IdentityRequest(Env("STANDIN_HOST")), nullptr, 0);
  WPARAM code = 0;
  EXPECT_EQ(TakeNotifications(&code), 0);
  EXPECT_EQ(RequestsReceived(), before + 1);
}

TEST(PostForm, AnUnreachableHostPostsOneNotificationAndOpensNothing) {
  const char* host = "unreachable.invalid";
  BOOL reachable = InternetCheckConnectionA("http://unreachable.invalid", FLAG_ICC_FORCE_CONNECTION, 0);
  DWORD checkError = GetLastError();
  ASSERT_FALSE(reachable);
  size_t before = RequestsReceived();
  char response[16];
  memset(response, 'x', sizeof response);

  PostForm(IdentityRequest(host), response, sizeof response);

  WPARAM code = 0;
  EXPECT_EQ(TakeNotifications(&code), 1);
  EXPECT_EQ(code, checkError);
  EXPECT_EQ(RequestsReceived(), before);
  EXPECT_EQ(std::string(response, sizeof response), std::string(sizeof response, 'x'));
}

TEST(PostForm, ABodyTooLongForItsUtf8FormIsNeverSentCutShort) {
  SetServiceMode("normal");
  HttpPostRequest request = IdentityRequest(Env("STANDIN_HOST"));
  // 500 two-byte characters: 1000 ANSI bytes, 1500 in UTF-8.
  for (int i = 0; i < 500; ++i) AppendText(request.body, "\xcb\xfe");
  size_t before = RequestsReceived();
  char response[16];
  memset(response, 'x', sizeof response);

  PostForm(request, response, sizeof response);

  WPARAM code = 0;
  EXPECT_EQ(TakeNotifications(&code), 1);
  EXPECT_EQ(code, static_cast<WPARAM>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(RequestsReceived(), before);
  EXPECT_EQ(std::string(response, sizeof response), std::string(sizeof response, 'x'));
}

}  // namespace
