#include "identity/device_id.h"

#include <io.h>
#include <string.h>
#include <windows.h>
#include <shlobj.h>

#include "http/post_form.h"
#include "http/service_request.h"
#include "identity/uid_answer.h"
#include "launcher/config.h"

namespace {

// The id file's path, its folder created on the way. Without the real local
// application-data folder, or when the whole path does not fit, there is no
// id file path at all: never one on the drive root or cut short.
bool BuildIdFilePath(char (&path)[kPathCapacity]) {
  memset(path, 0, sizeof path);
  bool fits = SHGetFolderPathA(NULL, CSIDL_LOCAL_APPDATA, NULL, SHGFP_TYPE_CURRENT, path) == S_OK &&
              path[0] != '\0' && AppendPathPart(path, kDataFolder) &&
              strlen(path) + 1 + strlen(kIdFileName) < sizeof path;
  if (!fits) {
    memset(path, 0, sizeof path);
    return false;
  }
  CreateDirectoryA(path, NULL);
  return AppendPathPart(path, kIdFileName);
}

}  // namespace

void ResolveDeviceId(char (&idFilePath)[kPathCapacity], char (&deviceId)[kDeviceIdCapacity]) {
  bool havePath = BuildIdFilePath(idFilePath);
  memset(deviceId, 0, sizeof deviceId);
  if (havePath && _access(idFilePath, 0) == 0) {
    GetPrivateProfileStringA(kIdSection, kIdKey, kDefaultDeviceId, deviceId, sizeof deviceId,
                             idFilePath);
    return;
  }
  RequestDeviceId(idFilePath, deviceId);
}

void RequestDeviceId(const char* idFilePath, char (&deviceId)[kDeviceIdCapacity]) {
  HttpPostRequest request;
  PrepareServiceRequest(request, kUidPath);
  char answer[kIdentityAnswerCapacity] = {};
  PostForm(request, answer, sizeof answer);
  if (ExtractDeviceId(answer, deviceId) && idFilePath[0] != '\0') {
    WritePrivateProfileStringA(kIdSection, kIdKey, deviceId, idFilePath);
  }
}
