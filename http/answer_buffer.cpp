#include "http/answer_buffer.h"

#include <string.h>

void ResetAnswer(AnswerBuffer* answer) { memset(answer, 0, sizeof *answer); }

void KeepAnswerBytes(AnswerBuffer* answer, const char* bytes, size_t count) {
  size_t room = sizeof answer->text - 1 - answer->used;
  size_t kept = count < room ? count : room;
  memcpy(answer->text + answer->used, bytes, kept);
  answer->used += kept;
  answer->text[answer->used] = '\0';
}
