// The device id comes from the id file or the identity answer, either of which
// someone else may have written; the play page URL and the launch report are
// built from it. Input: the page URL field, then the device id field.
#include <string.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "launcher/config.h"
#include "play/play_url.h"
#include "play/report_body.h"

namespace {

// Either the whole expected text with its terminator and true, or an empty
// buffer and false; never a byte past the buffer.
void CheckResult(const char* buffer, bool fitted, const std::string& expected) {
  FUZZ_CHECK(fitted == (expected.size() < kTextCapacity));
  if (fitted) {
    FUZZ_CHECK(memcmp(buffer, expected.c_str(), expected.size() + 1) == 0);
  } else {
    FUZZ_CHECK(buffer[0] == '\0');
  }
}

void CheckPlayUrl(const std::string& pageUrl, const std::string& deviceId, bool guarded) {
  Destination destination(kTextCapacity, guarded);
  char* url = destination.text();
  std::vector<char> page = ExactText(pageUrl);
  std::vector<char> id = ExactText(deviceId);
  bool fitted = BuildPlayUrl(AsArray<kTextCapacity>(url), page.data(), id.data());
  const char* separator = pageUrl.find('?') != std::string::npos ? "&did=" : "?did=";
  CheckResult(url, fitted, pageUrl + separator + deviceId);
}

// The report's format with its "%s" filled in by hand, in the order the
// format names them: userId, channelId, pkgName, op, did.
std::string ExpectedReport(const std::string& deviceId) {
  const std::string values[] = {deviceId, kChannelId, kPackageName, deviceId, deviceId};
  std::string report;
  size_t next = 0;
  for (const char* c = kReportFormat; *c != '\0'; ++c) {
    if (*c != '%') {
      report += *c;
      continue;
    }
    // Any other conversion would make this hand-made text wrong.
    FUZZ_CHECK(c[1] == 's' && next < 5);
    report += values[next++];
    ++c;
  }
  FUZZ_CHECK(next == 5);
  return report;
}

void CheckReport(const std::string& deviceId, bool guarded) {
  Destination destination(kTextCapacity, guarded);
  char* body = destination.text();
  std::vector<char> id = ExactText(deviceId);
  bool fitted = FormatLaunchReport(AsArray<kTextCapacity>(body), id.data());
  CheckResult(body, fitted, ExpectedReport(deviceId));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input{data, size};
  std::string pageUrl = TakeText(input);
  std::string deviceId = TakeText(input);
  for (bool guarded : {true, false}) {
    CheckPlayUrl(pageUrl, deviceId, guarded);
    CheckPlayUrl(kPlayUrl, deviceId, guarded);  // the page URL the launcher really uses
    CheckReport(deviceId, guarded);
  }
  return 0;
}
