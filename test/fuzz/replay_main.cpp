// Replays saved fuzz inputs without libFuzzer: every regular file under the folders (or the
// files) given on the command line goes once through LLVMFuzzerTestOneInput, in name order. A
// crash, a sanitizer report or a failed check ends the program as it ended the fuzzer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int * argc, char *** argv) __attribute__((weak));

int main(int argc, char ** argv)
{
  namespace fs = std::filesystem;
  if (LLVMFuzzerInitialize) {
    LLVMFuzzerInitialize(&argc, &argv);
  }
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg(argv[i]);
    if (fs::is_directory(arg)) {
      for (const auto & e : fs::recursive_directory_iterator(arg)) {
        // Notes beside the inputs (*.md) are not inputs.
        if (e.is_regular_file() && e.path().extension() != ".md") {
          files.push_back(e.path());
        }
      }
    } else if (fs::is_regular_file(arg)) {
      files.push_back(arg);
    } else {
      std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
      return 2;
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "nothing to replay\n");
    return 2;
  }
  std::sort(files.begin(), files.end());
  for (const auto & f : files) {
    std::ifstream in(f, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
      std::istreambuf_iterator<char>()};
    std::fprintf(stderr, "replaying %s (%zu bytes)\n", f.string().c_str(), bytes.size());
    // A null pointer for an empty input, as libFuzzer may pass.
    LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
  }
  std::printf("%zu inputs replayed\n", files.size());
  return 0;
}
