// The MCAP reader on arbitrary file contents: opened as a bag file (both reading orders) it must
// either throw BagError or give messages whose channels it knows, within its own time range.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "fuzz_support.hpp"
#include "storage/bag.hpp"
#include "storage/mcap.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, std::size_t size)
{
  using sweepmend::bag::BagError;
  const auto path = sweepmend_fuzz::scratch_dir() / "input.mcap";
  sweepmend_fuzz::write_file(path, data, size);

  try {
    sweepmend::bag::McapReader reader(path.string(), sweepmend::bag::McapReader::Order::file);
    sweepmend::bag::McapMessage m;
    uint64_t count = 0;
    while (reader.read_next(m)) {
      ++count;
      reader.channel(m.channel_id);  // must be known: the reader checked it while indexing
      reader.schema_name(m.channel_id);
      if (m.log_time < reader.message_start_time() || m.log_time > reader.message_end_time()) {
        sweepmend_fuzz::fail("message log time outside the reader's own time range");
      }
    }
    if (count != reader.message_count()) {
      sweepmend_fuzz::fail("read a different number of messages than indexed");
    }
  } catch (const BagError &) {
  }

  try {
    auto reader = sweepmend::bag::Reader::open(path.string());
    reader->topics();
    reader->message_counts();
    sweepmend::bag::BagMessage m;
    int64_t previous = INT64_MIN;
    while (reader->read_next(m)) {
      if (m.timestamp < previous) {
        sweepmend_fuzz::fail("bag messages out of receive-time order");
      }
      previous = m.timestamp;
    }
  } catch (const BagError &) {
  }
  return 0;
}
