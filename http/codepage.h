// The launcher's own text is in the ANSI code page; web exchanges are UTF-8.
#pragma once

#include <stddef.h>

// ANSI text to UTF-8. Returns `destination`, or null (and `destination`
// untouched) when the converted text and its terminator do not fit
// `capacity`, or the text is too long to convert at all: a body is never
// sent cut short.
char* AnsiToUtf8(const char* source, char* destination, size_t capacity);

// UTF-8 text to ANSI; characters the code page lacks become its default
// character. A text longer than `capacity` keeps the leading whole characters
// that fit. The result is always terminated. Returns `destination`.
char* Utf8ToAnsi(const char* source, char* destination, size_t capacity);
