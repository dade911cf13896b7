// Helpers shared by the fuzz targets: a scratch folder per process for targets whose surface
// reads files, and an abort that says why.
#ifndef FUZZ_SUPPORT_HPP_
#define FUZZ_SUPPORT_HPP_

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace sweepmend_fuzz
{

/// A folder of this process's own, in /dev/shm when it exists (the readers under test open real
/// files; a RAM file system keeps each execution cheap). Removed at exit.
inline const std::filesystem::path & scratch_dir()
{
  struct Scratch
  {
    Scratch()
    {
      namespace fs = std::filesystem;
      std::error_code ec;
      const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") :
        fs::temp_directory_path();
      path = base / ("sweepmend_fuzz_" + std::to_string(::getpid()));
      fs::remove_all(path, ec);
      fs::create_directories(path);
    }
    ~Scratch()
    {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
  };
  static const Scratch scratch;
  return scratch.path;
}

/// Writes size bytes to path, replacing the file.
inline void write_file(const std::filesystem::path & path, const uint8_t * data, std::size_t size)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
  if (!out) {
    std::fprintf(stderr, "fuzz harness: cannot write %s\n", path.string().c_str());
    std::abort();
  }
}

/// A broken property of the code under test: report and abort so that the fuzzer keeps the input.
[[noreturn]] inline void fail(const std::string & what)
{
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::abort();
}

}  // namespace sweepmend_fuzz

#endif  // FUZZ_SUPPORT_HPP_
