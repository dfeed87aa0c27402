// What the fuzz targets share: reading the input as fields, destination
// buffers that show a write or read past them, and failing so that libFuzzer
// keeps the input.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

// A broken invariant: say which, then abort, which libFuzzer and the replay
// both report as a crash on the input at hand.
#define FUZZ_CHECK(condition)                                                    \
  do {                                                                           \
    if (!(condition)) {                                                          \
      fprintf(stderr, "fuzz check failed, line %d: %s\n", __LINE__, #condition); \
      abort();                                                                   \
    }                                                                            \
  } while (0)

struct FuzzInput {
  const uint8_t* data;
  size_t size;
};

// 0 once the input is used up, so that every input is a valid one.
inline uint8_t TakeByte(FuzzInput& input) {
  if (input.size == 0) return 0;
  uint8_t byte = input.data[0];
  ++input.data;
  --input.size;
  return byte;
}

// A field: a two-byte little-endian length, then that many bytes (fewer when
// the input ends first). NUL bytes stay in.
inline std::string TakeField(FuzzInput& input) {
  size_t length = TakeByte(input);
  length |= static_cast<size_t>(TakeByte(input)) << 8;
  if (length > input.size) length = input.size;
  std::string field(reinterpret_cast<const char*>(input.data), length);
  input.data += length;
  input.size -= length;
  return field;
}

// A field read as the C string a launcher function would see: up to its
// first NUL.
inline std::string TakeText(FuzzInput& input) {
  std::string field = TakeField(input);
  return field.substr(0, strlen(field.c_str()));
}

// A C string on the heap at its exact size, so that AddressSanitizer catches
// a read past its terminator.
inline std::vector<char> ExactText(const std::string& text) {
  return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1);
}

// A destination buffer of `capacity` bytes, laid out one of two ways: between
// two guard zones, where a write past the capacity changes a guard byte even
// without AddressSanitizer; or alone on the heap at its exact size, where
// AddressSanitizer also sees a read past it. The targets try both.
constexpr size_t kGuardSize = 64;
constexpr char kGuardByte = static_cast<char>(0xA5);

class Destination {
 public:
  Destination(size_t capacity, bool guarded)
      : capacity_(capacity), guarded_(guarded),
        block_(new char[guarded ? capacity + 2 * kGuardSize : capacity]) {
    memset(block_, kGuardByte, guarded ? capacity + 2 * kGuardSize : capacity);
  }
  ~Destination() {
    CheckGuards();
    delete[] block_;
  }
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;

  char* text() const { return guarded_ ? block_ + kGuardSize : block_; }

  void CheckGuards() const {
    if (!guarded_) return;
    for (size_t i = 0; i < kGuardSize; ++i) {
      FUZZ_CHECK(block_[i] == kGuardByte);
      FUZZ_CHECK(block_[kGuardSize + capacity_ + i] == kGuardByte);
    }
  }

 private:
  size_t capacity_;
  bool guarded_;
  char* block_;
};

// A destination seen as the fixed-size array the launcher's functions take.
template <size_t N>
char (&AsArray(char* region))[N] {
  return *reinterpret_cast<char(*)[N]>(region);
}
