// The identity answer comes over plain HTTP in reads of any size and content.
// The input is a sequence of fields, each one read handed to KeepAnswerBytes
// as the launcher does; then the device id is read out of what was kept.
#include <string.h>

#include <string>

#include "fuzz/fuzz_support.h"
#include "http/answer_buffer.h"
#include "identity/uid_answer.h"

namespace {

bool IsIdCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

// What ExtractDeviceId must accept from `answer`, worked out another way.
bool ExpectedId(const char* answer, std::string* id) {
  std::string text(answer);
  size_t marker = text.find(kUidMarker);
  if (marker == std::string::npos) return false;
  size_t start = marker + strlen(kUidMarker);
  if (text.size() - start < kDeviceIdLength) return false;
  for (size_t i = 0; i < kDeviceIdLength; ++i) {
    if (!IsIdCharacter(text[start + i])) return false;
  }
  *id = text.substr(start, kDeviceIdLength);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input{data, size};

  // On the heap at its exact size, and dirty as stack memory would be: a
  // write past it is caught, and ResetAnswer must leave nothing behind.
  AnswerBuffer* answer = new AnswerBuffer;
  memset(answer, 0xA5, sizeof *answer);
  ResetAnswer(answer);
  FUZZ_CHECK(answer->used == 0 && answer->text[0] == '\0');

  std::string received;
  while (input.size > 0) {
    std::string read = TakeField(input);
    // Each read in a block of its own size, so a read past it is caught
    // (never a null pointer, even for an empty read).
    char* bytes = new char[read.size()];
    memcpy(bytes, read.data(), read.size());
    KeepAnswerBytes(answer, bytes, read.size());
    delete[] bytes;
    received += read;

    size_t kept = received.size() < kTextCapacity - 1 ? received.size() : kTextCapacity - 1;
    FUZZ_CHECK(answer->used == kept);
    FUZZ_CHECK(memcmp(answer->text, received.data(), kept) == 0);
    FUZZ_CHECK(answer->text[kept] == '\0');
  }

  auto* deviceId = new char[1][kDeviceIdCapacity];
  memset(deviceId, 'x', sizeof *deviceId);
  bool accepted = ExtractDeviceId(answer->text, *deviceId);
  std::string expected;
  FUZZ_CHECK(accepted == ExpectedId(answer->text, &expected));
  if (accepted) {
    FUZZ_CHECK(strlen(*deviceId) == kDeviceIdLength);
    for (size_t i = 0; i < kDeviceIdLength; ++i) FUZZ_CHECK(IsIdCharacter((*deviceId)[i]));
    FUZZ_CHECK(expected == *deviceId);
  } else {
    FUZZ_CHECK((*deviceId)[0] == '\0');
  }

  delete[] deviceId;
  delete answer;
  return 0;
}
