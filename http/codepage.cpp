#include "http/codepage.h"

#include <string.h>
#include <windows.h>

namespace {

// Both directions pass through UTF-16.
constexpr int kWideCapacity = 8000;

// Converts `source` to UTF-16 in `wide`. False, with `wide` empty, when the
// source cannot be converted or needs more room than there is.
bool ToWide(UINT codePage, DWORD flags, const char* source, wchar_t (&wide)[kWideCapacity]) {
  memset(wide, 0, sizeof wide);
  int units = MultiByteToWideChar(codePage, flags, source, -1, NULL, 0);
  if (units == 0 || units > kWideCapacity) return false;
  if (MultiByteToWideChar(codePage, flags, source, -1, wide, units) == 0) {
    wide[0] = L'\0';
    return false;
  }
  return true;
}

// Bytes of the leading whole UTF-8 characters of `text`, at most `limit`.
int LeadingUtf8Bytes(const char* text, int limit) {
  int length = 0;
  while (length < limit && text[length] != '\0') ++length;
  // Cut inside a character: leave that character out.
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return length;
}

// UTF-8 `source`, or as many of its leading whole characters as `wide` holds
// (no UTF-8 byte makes more than one UTF-16 unit), in UTF-16.
void LeadingUtf8ToWide(const char* source, wchar_t (&wide)[kWideCapacity]) {
  if (ToWide(CP_UTF8, 0, source, wide)) return;
  int bytes = LeadingUtf8Bytes(source, kWideCapacity - 1);
  int units = bytes > 0 ? MultiByteToWideChar(CP_UTF8, 0, source, bytes, wide, kWideCapacity - 1) : 0;
  wide[units] = L'\0';
}

// How many leading units of `wide` make whole characters whose `codePage`
// form fits in `room` bytes; their byte count goes to `bytes`.
int FittingUnits(UINT codePage, const wchar_t* wide, int room, int* bytes) {
  int units = 0;
  *bytes = 0;
  while (wide[units] != L'\0') {
    int step = IS_HIGH_SURROGATE(wide[units]) && IS_LOW_SURROGATE(wide[units + 1]) ? 2 : 1;
    int size = WideCharToMultiByte(codePage, 0, wide + units, step, NULL, 0, NULL, NULL);
    if (size == 0 || *bytes + size > room) break;
    *bytes += size;
    units += step;
  }
  return units;
}

}  // namespace

char* AnsiToUtf8(const char* source, char* destination, size_t capacity) {
  wchar_t wide[kWideCapacity];
  if (!ToWide(CP_ACP, MB_PRECOMPOSED, source, wide)) return nullptr;
  int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, NULL, 0, NULL, NULL);
  if (bytes == 0 || static_cast<size_t>(bytes) > capacity) return nullptr;
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, destination, bytes, NULL, NULL);
  return destination;
}

char* Utf8ToAnsi(const char* source, char* destination, size_t capacity) {
  if (capacity == 0) return destination;
  wchar_t wide[kWideCapacity];
  LeadingUtf8ToWide(source, wide);
  int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, NULL, 0, NULL, NULL);
  if (bytes != 0 && static_cast<size_t>(bytes) <= capacity) {
    WideCharToMultiByte(CP_ACP, 0, wide, -1, destination, bytes, NULL, NULL);
    return destination;
  }
  int kept = 0;
  int units = FittingUnits(CP_ACP, wide, static_cast<int>(capacity) - 1, &kept);
  if (units > 0) WideCharToMultiByte(CP_ACP, 0, wide, units, destination, kept, NULL, NULL);
  destination[kept] = '\0';
  return destination;
}
