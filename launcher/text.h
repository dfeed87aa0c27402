// Bounded text in fixed buffers. Every write takes the destination's real
// capacity (the templates read it off the array), and a text that does not
// fit is never written cut short: the caller learns it from the result.
#pragma once

#include <stddef.h>

// Capacities, terminator included.
constexpr size_t kPathCapacity = 260;        // file-system paths
constexpr size_t kTextCapacity = 1024;       // URLs, bodies, report text
constexpr size_t kNameCapacity = 256;        // host names, request paths
constexpr size_t kDeviceIdCapacity = 64;     // the device identifier
constexpr size_t kIdentityAnswerCapacity = 128;

// Copies `source` only when it fits with its terminator; otherwise leaves
// `destination` empty. Returns whether it fitted.
bool CopyText(char* destination, size_t capacity, const char* source);

// Appends `source` only when the whole result fits; otherwise leaves
// `destination` as it was. Returns whether it fitted.
bool AppendText(char* destination, size_t capacity, const char* source);

// printf-style formatting into a report or URL buffer. On overflow the buffer
// is left empty (never a cut-short text) and the result is false.
bool FormatText(char (&buffer)[kTextCapacity], const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

template <size_t N>
bool CopyText(char (&destination)[N], const char* source) {
  return CopyText(destination, N, source);
}

template <size_t N>
bool AppendText(char (&destination)[N], const char* source) {
  return AppendText(destination, N, source);
}

// Appends "\" and `name`, the way every folder, file and shortcut name is
// joined to the path before it. All or nothing, like AppendText.
template <size_t N>
bool AppendPathPart(char (&path)[N], const char* name) {
  size_t before = 0;
  while (before < N && path[before] != '\0') ++before;
  if (before == N) return false;  // no terminator: not a path we may extend
  if (AppendText(path, "\\") && AppendText(path, name)) return true;
  path[before] = '\0';
  return false;
}
