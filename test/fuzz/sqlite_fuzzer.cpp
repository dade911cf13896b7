// The rosbag2 SQLite reader on an arbitrary bag folder: a metadata.yaml and one .db3 file, both
// taken from the input. Layout: 2 bytes little-endian n, then n bytes of metadata.yaml (none when
// n is 0), then the .db3 file. Opening and reading must either throw BagError or succeed.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz_support.hpp"
#include "storage/bag.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, std::size_t size)
{
  namespace fs = std::filesystem;
  if (size < 2) {
    return 0;
  }
  std::size_t yaml_size = data[0] | (std::size_t{data[1]} << 8);
  data += 2;
  size -= 2;
  if (yaml_size > size) {
    yaml_size = size;
  }
  const fs::path dir = sweepmend_fuzz::scratch_dir() / "bag";
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir);
  if (yaml_size > 0) {
    sweepmend_fuzz::write_file(dir / "metadata.yaml", data, yaml_size);
  }
  // The name rosbag2 gives the first file of a bag called "bag".
  sweepmend_fuzz::write_file(dir / "bag_0.db3", data + yaml_size, size - yaml_size);

  try {
    auto reader = sweepmend::bag::Reader::open(dir.string());
    reader->topics();
    reader->message_counts();
    reader->start_time();
    reader->end_time();
    sweepmend::bag::BagMessage m;
    while (reader->read_next(m)) {
    }
  } catch (const sweepmend::bag::BagError &) {
  }
  return 0;
}
