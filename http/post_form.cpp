#include "http/post_form.h"

#include <string.h>

#include "http/answer_buffer.h"
#include "http/codepage.h"
#include "http/wininet_binding.h"

namespace {

constexpr char kUserAgent[] = "Mozilla/4.0 (Compatible; MSIE 6.0;)";
constexpr char kFormContentType[] = "Content-Type:application/x-www-form-urlencoded; charset=UTF-8";
constexpr size_t kHeadersCapacity = 128;
constexpr INTERNET_PORT kHttpPort = 80;

void Notify(const HttpPostRequest& request) {
  PostMessageA(request.notifyWindow, request.notifyMessage, GetLastError(), 0);
}

// Sends the request and reads the answer's body into `answer`; false (with
// the failing call's error code set) when there is no answer to read.
bool Exchange(const WinInetFunctions& inet, HINTERNET handle, const HttpPostRequest& request,
              AnswerBuffer* answer) {
  char headers[kHeadersCapacity] = {};
  CopyText(headers, kFormContentType);
  char body[kTextCapacity];
  if (AnsiToUtf8(request.body, body, sizeof body) == nullptr) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  if (!inet.HttpSendRequestA(handle, headers, static_cast<DWORD>(strlen(headers)), body,
                             static_cast<DWORD>(strlen(body)))) {
    return false;
  }
  // Only whether a status arrived matters: error statuses carry a body too.
  char status[32];
  DWORD statusSize = sizeof status;
  if (!inet.HttpQueryInfoA(handle, HTTP_QUERY_STATUS_CODE, status, &statusSize, NULL)) return false;
  ResetAnswer(answer);
  char chunk[kTextCapacity];
  DWORD read = 0;
  while (inet.InternetReadFile(handle, chunk, sizeof chunk, &read) && read > 0) {
    KeepAnswerBytes(answer, chunk, read);
  }
  return true;
}

}  // namespace

void PostForm(const HttpPostRequest& request, char* response, size_t responseCapacity) {
  const WinInetFunctions* inet = BindWinInet();
  if (inet == nullptr || !inet->InternetCheckConnectionA(request.url, FLAG_ICC_FORCE_CONNECTION, 0)) {
    Notify(request);
    return;
  }
  // Never let a cache answer for the service, unless the exchange is secure.
  DWORD flags = request.secure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_DONT_CACHE;
  const char* acceptTypes[] = {"*/*", NULL};
  HINTERNET session = NULL;
  HINTERNET connection = NULL;
  HINTERNET handle = NULL;
  AnswerBuffer answer;
  bool answered =
      (session = inet->InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0)) != NULL &&
      (connection = inet->InternetConnectA(session, request.host, kHttpPort, "", "",
                                           INTERNET_SERVICE_HTTP, 0, 0)) != NULL &&
      (handle = inet->HttpOpenRequestA(connection, "POST", request.path, "HTTP/1.0", request.url,
                                       acceptTypes, flags, 1)) != NULL &&
      Exchange(*inet, handle, request, &answer);
  if (!answered) {
    Notify(request);
  } else if (response != nullptr) {
    Utf8ToAnsi(answer.text, response, responseCapacity);
  }
  if (handle != NULL) inet->InternetCloseHandle(handle);
  if (connection != NULL) inet->InternetCloseHandle(connection);
  if (session != NULL) inet->InternetCloseHandle(session);
}
