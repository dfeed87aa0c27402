#include "launcher/text.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

bool CopyText(char* destination, size_t capacity, const char* source) {
  if (capacity == 0) return false;
  size_t length = strlen(source);
  if (length >= capacity) {
    destination[0] = '\0';
    return false;
  }
  memcpy(destination, source, length + 1);
  return true;
}

bool AppendText(char* destination, size_t capacity, const char* source) {
  const void* end = memchr(destination, '\0', capacity);
  if (end == nullptr) return false;  // no terminator: not a text we may extend
  size_t used = static_cast<const char*>(end) - destination;
  size_t length = strlen(source);
  if (length >= capacity - used) return false;
  memcpy(destination + used, source, length + 1);
  return true;
}

bool FormatText(char (&buffer)[kTextCapacity], const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
#if defined(_WIN32)
  // msvcrt's own: -1 (and no terminator) when the text does not fit.
  int written = _vsnprintf(buffer, sizeof buffer, format, arguments);
#else
  int written = vsnprintf(buffer, sizeof buffer, format, arguments);
#endif
  va_end(arguments);
  if (written < 0 || static_cast<size_t>(written) >= sizeof buffer) {
    memset(buffer, 0, sizeof buffer);
    return false;
  }
  return true;
}
