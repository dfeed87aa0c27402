// Runs a fuzz target on every file of the folders (or on the files) named on
// the command line, without libFuzzer: the normal test run replays the
// checked-in corpus with whatever compiler and sanitizers the build uses.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    fs::path given(argv[i]);
    std::error_code error;
    if (fs::is_directory(given, error)) {
      for (const fs::directory_entry& entry : fs::directory_iterator(given)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
    } else if (fs::is_regular_file(given, error)) {
      inputs.push_back(given);
    } else {
      fprintf(stderr, "replay: no such file or folder: %s\n", argv[i]);
      return 2;
    }
  }
  // A mistyped or emptied corpus must not pass as a clean replay.
  if (inputs.empty()) {
    fprintf(stderr, "replay: no inputs\n");
    return 2;
  }
  std::sort(inputs.begin(), inputs.end());

  for (const fs::path& path : inputs) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      fprintf(stderr, "replay: cannot read %s\n", path.c_str());
      return 2;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // A copy at the input's exact size, as libFuzzer gives it, so that a
    // read past its end is caught.
    uint8_t* data = new uint8_t[bytes.size()];
    std::copy(bytes.begin(), bytes.end(), data);
    fprintf(stderr, "replay: %s (%zu bytes)\n", path.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(data, bytes.size());
    delete[] data;
  }
  printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
