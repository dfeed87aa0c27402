// Bounded text is how every outside value reaches a path, URL or body. With
// any capacity, any starting content and any source, the all-or-nothing rules
// must hold and not one byte may land past the capacity.
//
// The input's first byte picks the function. FormatText takes a pattern and
// three value fields; the others a byte for the capacity (for AppendPathPart,
// it picks one of a few array sizes), the destination's starting bytes and the
// source text.
#include <string.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "launcher/text.h"

namespace {

// The destination's starting bytes: the field's, then a filler that is no
// terminator, so that it may hold no text at all.
void Fill(char* region, size_t capacity, const std::string& content) {
  for (size_t i = 0; i < capacity; ++i) region[i] = i < content.size() ? content[i] : '#';
}

void CheckCopy(size_t capacity, const std::string& initial, const std::string& source,
               bool guarded) {
  Destination buffer(capacity, guarded);
  char* destination = buffer.text();
  Fill(destination, capacity, initial);
  std::vector<char> exact = ExactText(source);
  bool fitted = CopyText(destination, capacity, exact.data());

  FUZZ_CHECK(fitted == (source.size() < capacity));
  if (fitted) {
    FUZZ_CHECK(memcmp(destination, exact.data(), exact.size()) == 0);
  } else if (capacity > 0) {
    FUZZ_CHECK(destination[0] == '\0');
  }
}

void CheckAppend(size_t capacity, const std::string& initial, const std::string& source,
                 bool guarded) {
  Destination buffer(capacity, guarded);
  char* destination = buffer.text();
  Fill(destination, capacity, initial);
  std::string before(destination, capacity);
  std::vector<char> exact = ExactText(source);
  bool fitted = AppendText(destination, capacity, exact.data());

  // Without a terminator inside the capacity there is no text to extend.
  const void* end = memchr(before.data(), '\0', capacity);
  size_t used = end != nullptr ? static_cast<const char*>(end) - before.data() : 0;
  bool fits = end != nullptr && source.size() < capacity - used;
  FUZZ_CHECK(fitted == fits);
  if (fits) {
    FUZZ_CHECK(memcmp(destination, before.data(), used) == 0);
    FUZZ_CHECK(memcmp(destination + used, exact.data(), exact.size()) == 0);
  } else {
    FUZZ_CHECK(memcmp(destination, before.data(), capacity) == 0);
  }
}

template <size_t N>
void CheckPathPart(const std::string& initial, const std::string& name, bool guarded) {
  Destination buffer(N, guarded);
  char* path = buffer.text();
  Fill(path, N, initial);
  // The path is always a text (the launcher builds every path from one), and
  // what follows its terminator is left-over bytes.
  if (memchr(path, '\0', N) == nullptr) path[N - 1] = '\0';
  std::string before(path);
  std::vector<char> exact = ExactText(name);
  bool fitted = AppendPathPart(AsArray<N>(path), exact.data());

  bool fits = before.size() + 1 + name.size() < N;
  FUZZ_CHECK(fitted == fits);
  std::string expected = fits ? before + "\\" + name : before;
  FUZZ_CHECK(memcmp(path, expected.c_str(), expected.size() + 1) == 0);
}

void CheckPathPart(uint8_t size, const std::string& initial, const std::string& name,
                   bool guarded) {
  switch (size % 10) {
    case 0: CheckPathPart<1>(initial, name, guarded); break;
    case 1: CheckPathPart<2>(initial, name, guarded); break;
    case 2: CheckPathPart<3>(initial, name, guarded); break;
    case 3: CheckPathPart<4>(initial, name, guarded); break;
    case 4: CheckPathPart<5>(initial, name, guarded); break;
    case 5: CheckPathPart<8>(initial, name, guarded); break;
    case 6: CheckPathPart<13>(initial, name, guarded); break;
    case 7: CheckPathPart<32>(initial, name, guarded); break;
    case 8: CheckPathPart<64>(initial, name, guarded); break;
    default: CheckPathPart<kPathCapacity>(initial, name, guarded); break;
  }
}

// The format is the pattern field with every '%' doubled and each of its
// first three \x01 bytes turned into "%s" for the next value field: the
// launcher formats nothing but strings.
void CheckFormat(const std::string& pattern, const std::string (&values)[3], bool guarded) {
  std::string format;
  std::string expected;
  size_t placed = 0;
  for (char c : pattern) {
    if (c == '\x01' && placed < 3) {
      format += "%s";
      expected += values[placed++];
    } else if (c == '%') {
      format += "%%";
      expected += '%';
    } else {
      format += c;
      expected += c;
    }
  }

  Destination destination(kTextCapacity, guarded);
  char* buffer = destination.text();
  Fill(buffer, kTextCapacity, pattern);
  std::vector<char> first = ExactText(values[0]);
  std::vector<char> second = ExactText(values[1]);
  std::vector<char> third = ExactText(values[2]);
  bool fitted = FormatText(AsArray<kTextCapacity>(buffer), format.c_str(), first.data(),
                           second.data(), third.data());

  FUZZ_CHECK(fitted == (expected.size() < kTextCapacity));
  if (fitted) {
    FUZZ_CHECK(memcmp(buffer, expected.c_str(), expected.size() + 1) == 0);
  } else {
    FUZZ_CHECK(buffer[0] == '\0');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input{data, size};
  uint8_t function = TakeByte(input) % 4;
  if (function == 3) {
    std::string pattern = TakeText(input);
    std::string values[3];
    for (std::string& value : values) value = TakeText(input);
    for (bool guarded : {true, false}) CheckFormat(pattern, values, guarded);
    return 0;
  }
  uint8_t capacity = TakeByte(input);  // for AppendPathPart, picks one of its sizes
  std::string initial = TakeField(input);
  std::string source = TakeText(input);
  for (bool guarded : {true, false}) {
    switch (function) {
      case 0: CheckCopy(capacity, initial, source, guarded); break;
      case 1: CheckAppend(capacity, initial, source, guarded); break;
      default: CheckPathPart(capacity, initial, source, guarded); break;
    }
  }
  return 0;
}
