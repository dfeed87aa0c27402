// Collects an HTTP answer's body in a fixed buffer.
#pragma once

#include "launcher/text.h"

struct AnswerBuffer {
  char text[kTextCapacity];  // always terminated
  size_t used;
};

void ResetAnswer(AnswerBuffer* answer);

// Keeps what still fits of `bytes` after the bytes already kept and drops the
// rest, so a longer answer can still be read to its end.
void KeepAnswerBytes(AnswerBuffer* answer, const char* bytes, size_t count);
