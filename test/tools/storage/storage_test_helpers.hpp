// Helpers of the storage tests: scratch directories, file bytes, a reference CRC-32, fixtures.
#ifndef STORAGE_TEST_HELPERS_HPP_
#define STORAGE_TEST_HELPERS_HPP_

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "storage/bag.hpp"

namespace storage_test
{

namespace fs = std::filesystem;

/// A fresh directory under the system temp dir, removed with everything in it.
class ScratchDir
{
public:
  ScratchDir()
  {
    static int counter = 0;
    path_ = fs::temp_directory_path() /
      ("sweepmend_storage_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDir()
  {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir & operator=(const ScratchDir &) = delete;

  const fs::path & path() const {return path_;}
  std::string operator/(const std::string & name) const {return (path_ / name).string();}

private:
  fs::path path_;
};

inline std::vector<uint8_t> read_file(const std::string & path)
{
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const std::string & path, const std::vector<uint8_t> & bytes)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

/// CRC-32 straight from its definition (reflected 0xEDB88320, all-ones start, final inversion),
/// one bit at a time, so it shares nothing with the table-driven code under test.
inline uint32_t reference_crc32(const uint8_t * data, std::size_t size, uint32_t crc = 0)
{
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
  }
  return ~crc;
}

inline uint64_t le64(const std::vector<uint8_t> & b, std::size_t at)
{
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) {
    v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
  }
  return v;
}

inline uint32_t le32(const std::vector<uint8_t> & b, std::size_t at)
{
  return static_cast<uint32_t>(le64(std::vector<uint8_t>{b.at(at), b.at(at + 1), b.at(at + 2),
           b.at(at + 3), 0, 0, 0, 0}, 0));
}

inline uint16_t le16(const std::vector<uint8_t> & b, std::size_t at)
{
  return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

/// Root of the fixtures written by other projects; empty when the shared folder is absent.
inline fs::path fixtures_dir()
{
  const fs::path dir = fs::path(SWEEPMEND_SHARED_DIR) / "fixtures";
  std::error_code ec;
  return fs::is_directory(dir, ec) ? dir : fs::path();
}

/// Every message of a reader, in the order it yields them.
inline std::vector<sweepmend::bag::BagMessage> read_all(sweepmend::bag::Reader & reader)
{
  std::vector<sweepmend::bag::BagMessage> out;
  sweepmend::bag::BagMessage msg;
  while (reader.read_next(msg)) {
    out.push_back(msg);
  }
  return out;
}

}  // namespace storage_test

#define SKIP_WITHOUT_FIXTURES() \
  do { \
    if (storage_test::fixtures_dir().empty()) { \
      GTEST_SKIP() << "shared fixtures not found at " SWEEPMEND_SHARED_DIR \
        "/fixtures (set the CMake cache variable SWEEPMEND_SHARED_DIR)"; \
    } \
  } while (0)

#endif  // STORAGE_TEST_HELPERS_HPP_
