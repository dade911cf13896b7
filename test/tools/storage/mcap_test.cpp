// MCAP at record level: round trips, the layout of written files, hand-built and damaged files.
#include <gtest/gtest.h>
#include <lz4frame.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "storage/bag.hpp"
#include "storage/mcap.hpp"
#include "storage_test_helpers.hpp"

namespace
{

using sweepmend::bag::BagError;
using sweepmend::bag::McapMessage;
using sweepmend::bag::McapReader;
using sweepmend::bag::McapWriter;
using sweepmend::bag::McapWriterOptions;
using storage_test::le16;
using storage_test::le32;
using storage_test::le64;
using storage_test::read_file;
using storage_test::reference_crc32;
using storage_test::ScratchDir;
using storage_test::write_file;

struct Written
{
  uint16_t channel;
  uint32_t sequence;
  uint64_t log_time;
  uint64_t publish_time;
  std::vector<uint8_t> data;
};

// Two schemas, three channels (one schemaless), log times out of order with ties, sizes from
// empty to larger than a small chunk.
std::vector<Written> sample_messages()
{
  std::vector<Written> out;
  std::mt19937 rng(7);
  const uint64_t times[] = {50, 10, 30, 30, 20, 70, 60, 60, 40, 90, 80, 10, 100, 5, 95};
  uint32_t sequence = 0;
  for (uint64_t t : times) {
    Written w;
    w.channel = static_cast<uint16_t>(1 + sequence % 3);
    w.sequence = sequence++;
    w.log_time = 1'000'000'000'000ull + t;
    w.publish_time = w.log_time - 3;
    const std::size_t size = sequence == 7 ? 0 : (sequence * 37) % 300;
    for (std::size_t i = 0; i < size; ++i) {
      w.data.push_back(static_cast<uint8_t>(rng()));
    }
    out.push_back(w);
  }
  return out;
}

// The same records with fewer and shorter messages: damage tests rewrite the file per byte.
std::vector<Written> small_sample()
{
  auto messages = sample_messages();
  messages.resize(7);
  for (auto & m : messages) {
    m.data.resize(std::min<std::size_t>(m.data.size(), 40));
  }
  return messages;
}

void write_sample(
  const std::string & path, const McapWriterOptions & options,
  const std::vector<Written> & messages = sample_messages())
{
  McapWriter writer(path, options);
  writer.add_metadata("rosbag2", {{"ROS_DISTRO", "humble"}});
  const uint16_t s1 = writer.add_schema("pkg/msg/A", "ros2msg", "int32 a\n");
  const uint16_t s2 = writer.add_schema("pkg/msg/B", "ros2msg", "string b\n");
  EXPECT_EQ(writer.add_channel(s1, "/a", "cdr", {{"offered_qos_profiles", "- history: 1"}}), 1);
  EXPECT_EQ(writer.add_channel(s2, "/b", "cdr", {}), 2);
  EXPECT_EQ(writer.add_channel(0, "/raw", "json", {{"k1", "v1"}, {"k2", ""}}), 3);
  for (const Written & w : messages) {
    writer.write(w.channel, w.sequence, w.log_time, w.publish_time, w.data.data(), w.data.size());
  }
  writer.close();
}

void expect_messages(McapReader & reader, const std::vector<Written> & expected)
{
  McapMessage m;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(reader.read_next(m)) << i;
    EXPECT_EQ(m.channel_id, expected[i].channel) << i;
    EXPECT_EQ(m.sequence, expected[i].sequence) << i;
    EXPECT_EQ(m.log_time, expected[i].log_time) << i;
    EXPECT_EQ(m.publish_time, expected[i].publish_time) << i;
    EXPECT_EQ(m.data, expected[i].data) << i;
  }
  EXPECT_FALSE(reader.read_next(m));
}

// ---- round trips -------------------------------------------------------------------------------

class McapRoundTrip : public ::testing::TestWithParam<std::tuple<std::string, uint64_t>> {};

TEST_P(McapRoundTrip, ReadsBackEveryRecordInFileAndInTimeOrder)
{
  ScratchDir dir;
  const std::string path = dir / "x.mcap";
  McapWriterOptions options;
  options.compression = std::get<0>(GetParam());
  options.chunk_size = std::get<1>(GetParam());
  options.library = "test lib";
  write_sample(path, options);
  const auto written = sample_messages();

  McapReader in_file(path, McapReader::Order::file);
  EXPECT_EQ(in_file.profile(), "ros2");
  EXPECT_EQ(in_file.library(), "test lib");
  ASSERT_EQ(in_file.schemas().size(), 2u);
  EXPECT_EQ(in_file.schemas().at(2).name, "pkg/msg/B");
  EXPECT_EQ(in_file.schemas().at(2).encoding, "ros2msg");
  const std::string text(in_file.schemas().at(1).data.begin(), in_file.schemas().at(1).data.end());
  EXPECT_EQ(text, "int32 a\n");
  ASSERT_EQ(in_file.channels().size(), 3u);
  EXPECT_EQ(in_file.channels().at(1).metadata.at("offered_qos_profiles"), "- history: 1");
  EXPECT_EQ(in_file.channels().at(3).schema_id, 0);
  EXPECT_EQ(in_file.channels().at(3).message_encoding, "json");
  EXPECT_EQ(in_file.channels().at(3).metadata,
    (std::map<std::string, std::string>{{"k1", "v1"}, {"k2", ""}}));
  EXPECT_EQ(in_file.schema_name(2), "pkg/msg/B");
  EXPECT_EQ(in_file.schema_name(3), "");
  expect_messages(in_file, written);

  auto by_time = written;
  std::stable_sort(by_time.begin(), by_time.end(),
    [](const Written & a, const Written & b) {return a.log_time < b.log_time;});
  McapReader in_time(path);
  EXPECT_EQ(in_time.message_count(), written.size());
  EXPECT_EQ(in_time.message_start_time(), by_time.front().log_time);
  EXPECT_EQ(in_time.message_end_time(), by_time.back().log_time);
  EXPECT_EQ(in_time.channel_message_counts(),
    (std::map<uint16_t, uint64_t>{{1, 5}, {2, 5}, {3, 5}}));
  expect_messages(in_time, by_time);
  in_time.rewind();
  expect_messages(in_time, by_time);
}

INSTANTIATE_TEST_SUITE_P(
  CompressionAndChunking, McapRoundTrip,
  ::testing::Combine(
    ::testing::Values(std::string(""), std::string("zstd"), std::string("lz4")),
    ::testing::Values(uint64_t{0}, uint64_t{200}, uint64_t{1} << 20)),
  [](const auto & info) {
    const std::string c = std::get<0>(info.param).empty() ? "none" : std::get<0>(info.param);
    return c + "_chunk" + std::to_string(std::get<1>(info.param));
  });

TEST(McapWriter, RejectsUnknownCompressionChannelAndSchema)
{
  ScratchDir dir;
  McapWriterOptions bad;
  bad.compression = "brotli";
  EXPECT_THROW(McapWriter(dir / "a.mcap", bad), BagError);
  McapWriter writer(dir / "b.mcap");
  EXPECT_THROW(writer.add_channel(1, "/t", "cdr", {}), BagError);
  const uint8_t byte = 1;
  EXPECT_THROW(writer.write(1, 0, 0, 0, &byte, 1), BagError);
  writer.close();
  EXPECT_THROW(writer.add_schema("a", "b", "c"), BagError);
  EXPECT_THROW(McapWriter(dir / "missing/dir/c.mcap"), BagError);
}

// ---- the layout of a written file, walked independently of the reader --------------------------

struct Record
{
  uint8_t op;
  uint64_t offset;   // of the opcode
  uint64_t length;   // of the content
};

std::vector<Record> records_in(const std::vector<uint8_t> & b, uint64_t begin, uint64_t end)
{
  std::vector<Record> out;
  while (begin < end) {
    out.push_back({b.at(begin), begin, le64(b, begin + 1)});
    begin += 9 + out.back().length;
  }
  EXPECT_EQ(begin, end);
  return out;
}

std::string string_at(const std::vector<uint8_t> & b, uint64_t at)
{
  return std::string(b.begin() + static_cast<long>(at + 4),
           b.begin() + static_cast<long>(at + 4 + le32(b, at)));
}

TEST(McapWriter, WritesTheIndexedLayoutWithValidIndexesAndCrcs)
{
  ScratchDir dir;
  const std::string path = dir / "x.mcap";
  McapWriterOptions options;
  options.chunk_size = 500;  // several chunks
  write_sample(path, options);
  const std::vector<uint8_t> b = read_file(path);
  const auto written = sample_messages();

  const uint8_t magic[8] = {0x89, 'M', 'C', 'A', 'P', '0', '\r', '\n'};
  ASSERT_GT(b.size(), 100u);
  ASSERT_EQ(std::memcmp(b.data(), magic, 8), 0);
  ASSERT_EQ(std::memcmp(b.data() + b.size() - 8, magic, 8), 0);

  // Footer.
  const uint64_t footer = b.size() - 8 - 29;
  ASSERT_EQ(b[footer], 0x02);
  ASSERT_EQ(le64(b, footer + 1), 20u);
  const uint64_t summary_start = le64(b, footer + 9);
  const uint64_t summary_offset_start = le64(b, footer + 17);
  ASSERT_GT(summary_start, 0u);
  ASSERT_LT(summary_start, summary_offset_start);
  ASSERT_LT(summary_offset_start, footer);
  EXPECT_EQ(le32(b, footer + 25),
    reference_crc32(b.data() + summary_start, footer + 25 - summary_start));

  // Data section: Header, Metadata, then chunks each followed by their message indexes.
  const auto data = records_in(b, 8, summary_start);
  ASSERT_GE(data.size(), 4u);
  EXPECT_EQ(data.front().op, 0x01);
  EXPECT_EQ(string_at(b, data.front().offset + 9), "ros2");
  const Record & data_end = data.back();
  ASSERT_EQ(data_end.op, 0x0F);
  EXPECT_EQ(le32(b, data_end.offset + 9), reference_crc32(b.data(), data_end.offset));

  std::map<uint64_t, Record> chunks;  // by offset
  std::map<uint64_t, Record> indexes;
  std::size_t messages_indexed = 0;
  std::set<uint16_t> channels_in_chunk;
  uint64_t current_chunk = 0;
  for (std::size_t i = 1; i + 1 < data.size(); ++i) {
    const Record & r = data[i];
    if (r.op == 0x06) {
      chunks[r.offset] = r;
      current_chunk = r.offset;
      channels_in_chunk.clear();
      const uint64_t c = r.offset + 9;
      EXPECT_EQ(le32(b, c + 28), 0u);  // compression ""
      const uint64_t records_size = le64(b, c + 32);
      EXPECT_EQ(records_size, le64(b, c + 16));
      EXPECT_EQ(le32(b, c + 24), reference_crc32(b.data() + c + 40, records_size));
      for (const Record & inner : records_in(b, c + 40, c + 40 + records_size)) {
        EXPECT_TRUE(inner.op == 0x03 || inner.op == 0x04 || inner.op == 0x05);
        if (inner.op == 0x05) {
          channels_in_chunk.insert(le16(b, inner.offset + 9));
        }
      }
    } else if (r.op == 0x07) {
      ASSERT_NE(current_chunk, 0u) << "message index before any chunk";
      indexes[r.offset] = r;
      const uint16_t channel = le16(b, r.offset + 9);
      EXPECT_EQ(channels_in_chunk.erase(channel), 1u) << "one index per channel of the chunk";
      const uint64_t n = le32(b, r.offset + 11) / 16;
      const uint64_t records = chunks[current_chunk].offset + 9 + 40;
      uint64_t previous_time = 0;
      for (uint64_t k = 0; k < n; ++k) {
        const uint64_t log_time = le64(b, r.offset + 15 + 16 * k);
        const uint64_t offset = le64(b, r.offset + 23 + 16 * k);
        EXPECT_GE(log_time, previous_time);
        previous_time = log_time;
        ASSERT_EQ(b.at(records + offset), 0x05);
        EXPECT_EQ(le16(b, records + offset + 9), channel);
        EXPECT_EQ(le64(b, records + offset + 9 + 6), log_time);
        ++messages_indexed;
      }
    } else {
      EXPECT_EQ(r.op, 0x0C) << "unexpected record in the data section";
    }
  }
  EXPECT_GE(chunks.size(), 3u);
  EXPECT_EQ(messages_indexed, written.size());

  // Summary offsets name each group, and each group holds only its opcode.
  std::map<uint8_t, std::pair<uint64_t, uint64_t>> groups;
  for (const Record & r : records_in(b, summary_offset_start, footer)) {
    ASSERT_EQ(r.op, 0x0E);
    groups[b[r.offset + 9]] = {le64(b, r.offset + 10), le64(b, r.offset + 18)};
  }
  const std::set<uint8_t> expected_groups{0x03, 0x04, 0x08, 0x0B, 0x0D};
  std::set<uint8_t> found;
  uint64_t covered = 0;
  for (const auto & g : groups) {
    found.insert(g.first);
    for (const Record & r : records_in(b, g.second.first, g.second.first + g.second.second)) {
      EXPECT_EQ(r.op, g.first);
    }
    covered += g.second.second;
  }
  EXPECT_EQ(found, expected_groups);
  EXPECT_EQ(covered, summary_offset_start - summary_start);

  // Statistics.
  const uint64_t st = groups.at(0x0B).first + 9;
  EXPECT_EQ(le64(b, st), written.size());
  EXPECT_EQ(le16(b, st + 8), 2u);        // schemas
  EXPECT_EQ(le32(b, st + 10), 3u);       // channels
  EXPECT_EQ(le32(b, st + 18), 1u);       // metadata
  EXPECT_EQ(le32(b, st + 22), chunks.size());
  EXPECT_EQ(le64(b, st + 26), 1'000'000'000'005ull);
  EXPECT_EQ(le64(b, st + 34), 1'000'000'000'100ull);

  // Chunk indexes point at the chunks and their message indexes.
  const auto chunk_index = records_in(
    b, groups.at(0x08).first, groups.at(0x08).first + groups.at(0x08).second);
  ASSERT_EQ(chunk_index.size(), chunks.size());
  for (const Record & r : chunk_index) {
    const uint64_t c = r.offset + 9;
    const uint64_t chunk_offset = le64(b, c + 16);
    ASSERT_EQ(chunks.count(chunk_offset), 1u);
    EXPECT_EQ(le64(b, c + 24), 9 + chunks[chunk_offset].length);
    const uint64_t map_bytes = le32(b, c + 32);
    uint64_t index_bytes = 0;
    for (uint64_t k = 0; k < map_bytes; k += 10) {
      const uint16_t channel = le16(b, c + 36 + k);
      const uint64_t at = le64(b, c + 38 + k);
      ASSERT_EQ(indexes.count(at), 1u);
      EXPECT_EQ(le16(b, at + 9), channel);
      index_bytes += 9 + indexes[at].length;
    }
    EXPECT_EQ(le64(b, c + 36 + map_bytes), index_bytes);
  }

  // Metadata index points at the rosbag2 metadata record.
  const uint64_t mi = groups.at(0x0D).first + 9;
  EXPECT_EQ(b.at(le64(b, mi)), 0x0C);
  EXPECT_EQ(string_at(b, mi + 16), "rosbag2");
}

// ---- files from other writers: built byte by byte here ----------------------------------------

class FileBuilder
{
public:
  FileBuilder() {bytes_.assign({0x89, 'M', 'C', 'A', 'P', '0', '\r', '\n'});}

  static std::vector<uint8_t> record(uint8_t op, const std::vector<uint8_t> & content)
  {
    std::vector<uint8_t> r{op};
    u64(r, content.size());
    r.insert(r.end(), content.begin(), content.end());
    return r;
  }
  static void u16(std::vector<uint8_t> & b, uint16_t v) {num(b, v, 2);}
  static void u32(std::vector<uint8_t> & b, uint32_t v) {num(b, v, 4);}
  static void u64(std::vector<uint8_t> & b, uint64_t v) {num(b, v, 8);}
  static void str(std::vector<uint8_t> & b, const std::string & s)
  {
    u32(b, static_cast<uint32_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
  }
  static std::vector<uint8_t> message(uint16_t channel, uint64_t time, std::vector<uint8_t> data)
  {
    std::vector<uint8_t> c;
    u16(c, channel);
    u32(c, 0);
    u64(c, time);
    u64(c, time + 1);
    c.insert(c.end(), data.begin(), data.end());
    return record(0x05, c);
  }
  static std::vector<uint8_t> chunk(const std::vector<uint8_t> & records,
    const std::string & compression, const std::vector<uint8_t> & payload,
    const std::vector<uint8_t> & trailing = {})
  {
    std::vector<uint8_t> c;
    u64(c, 0);
    u64(c, 0);
    u64(c, records.size());
    u32(c, reference_crc32(records.data(), records.size()));
    str(c, compression);
    u64(c, payload.size());
    c.insert(c.end(), payload.begin(), payload.end());
    c.insert(c.end(), trailing.begin(), trailing.end());
    return record(0x06, c);
  }

  void add(const std::vector<uint8_t> & r) {bytes_.insert(bytes_.end(), r.begin(), r.end());}

  std::vector<uint8_t> finish(const std::vector<uint8_t> & data_end_extra = {})
  {
    std::vector<uint8_t> de;
    u32(de, reference_crc32(bytes_.data(), bytes_.size()));
    de.insert(de.end(), data_end_extra.begin(), data_end_extra.end());
    add(record(0x0F, de));
    std::vector<uint8_t> f;
    u64(f, 0);
    u64(f, 0);
    u32(f, 0);
    add(record(0x02, f));
    add({0x89, 'M', 'C', 'A', 'P', '0', '\r', '\n'});
    return bytes_;
  }

private:
  static void num(std::vector<uint8_t> & b, uint64_t v, int n)
  {
    for (int i = 0; i < n; ++i) {
      b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
  }
  std::vector<uint8_t> bytes_;
};

std::vector<uint8_t> schema_record(uint16_t id, const std::string & name, bool extra)
{
  std::vector<uint8_t> c;
  FileBuilder::u16(c, id);
  FileBuilder::str(c, name);
  FileBuilder::str(c, "ros2msg");
  FileBuilder::str(c, "int8 x");
  if (extra) {
    c.insert(c.end(), {1, 2, 3, 4, 5});
  }
  return FileBuilder::record(0x03, c);
}

std::vector<uint8_t> channel_record(uint16_t id, uint16_t schema, const std::string & topic, bool extra)
{
  std::vector<uint8_t> c;
  FileBuilder::u16(c, id);
  FileBuilder::u16(c, schema);
  FileBuilder::str(c, topic);
  FileBuilder::str(c, "cdr");
  std::vector<uint8_t> map;
  FileBuilder::str(map, "offered_qos_profiles");
  FileBuilder::str(map, "");
  FileBuilder::u32(c, static_cast<uint32_t>(map.size()));
  c.insert(c.end(), map.begin(), map.end());
  if (extra) {
    c.insert(c.end(), {9, 9});
  }
  return FileBuilder::record(0x04, c);
}

std::vector<uint8_t> header_record(bool extra)
{
  std::vector<uint8_t> c;
  FileBuilder::str(c, "ros2");
  FileBuilder::str(c, "other writer");
  if (extra) {
    c.insert(c.end(), {0xAA, 0xBB, 0xCC});
  }
  return FileBuilder::record(0x01, c);
}

std::vector<uint8_t> compress(const std::string & how, const std::vector<uint8_t> & in)
{
  std::vector<uint8_t> out;
  if (how == "zstd") {
    out.resize(ZSTD_compressBound(in.size()));
    out.resize(ZSTD_compress(out.data(), out.size(), in.data(), in.size(), 3));
  } else if (how == "lz4") {
    out.resize(LZ4F_compressFrameBound(in.size(), nullptr));
    out.resize(LZ4F_compressFrame(out.data(), out.size(), in.data(), in.size(), nullptr));
  } else {
    out = in;
  }
  return out;
}

class ForeignFile : public ::testing::TestWithParam<std::string> {};

TEST_P(ForeignFile, SkipsUnknownRecordsAndTrailingFieldBytes)
{
  const std::string compression = GetParam();
  FileBuilder f;
  f.add(header_record(true));
  f.add(FileBuilder::record(0x80, {1, 2, 3}));        // private record
  f.add(FileBuilder::record(0x7E, {}));               // future standard record
  f.add(schema_record(1, "pkg/msg/X", true));
  f.add(channel_record(1, 1, "/x", true));
  f.add(FileBuilder::message(1, 300, {7, 7, 7}));
  std::vector<uint8_t> records = channel_record(2, 0, "/y", false);
  const auto unknown_inner = FileBuilder::record(0x81, {0, 0, 0, 0});
  records.insert(records.end(), unknown_inner.begin(), unknown_inner.end());
  const auto m1 = FileBuilder::message(2, 100, {1, 2});
  const auto m2 = FileBuilder::message(1, 200, {});
  records.insert(records.end(), m1.begin(), m1.end());
  records.insert(records.end(), m2.begin(), m2.end());
  f.add(FileBuilder::chunk(records, compression, compress(compression, records), {0xEE, 0xEE}));
  f.add(FileBuilder::record(0x07, {1, 0, 0, 0, 0, 0}));  // an index we do not need
  ScratchDir dir;
  write_file(dir / "foreign.mcap", f.finish({0x42}));

  McapReader reader(dir / "foreign.mcap");
  EXPECT_EQ(reader.library(), "other writer");
  EXPECT_EQ(reader.channels().size(), 2u);
  McapMessage m;
  ASSERT_TRUE(reader.read_next(m));
  EXPECT_EQ(m.log_time, 100u);
  EXPECT_EQ(m.publish_time, 101u);
  EXPECT_EQ(reader.channel(m.channel_id).topic, "/y");
  EXPECT_EQ(m.data, (std::vector<uint8_t>{1, 2}));
  ASSERT_TRUE(reader.read_next(m));
  EXPECT_EQ(m.log_time, 200u);
  EXPECT_TRUE(m.data.empty());
  ASSERT_TRUE(reader.read_next(m));
  EXPECT_EQ(m.log_time, 300u);
  EXPECT_EQ(reader.schema_name(m.channel_id), "pkg/msg/X");
  EXPECT_EQ(m.data, (std::vector<uint8_t>{7, 7, 7}));
  EXPECT_FALSE(reader.read_next(m));
}

INSTANTIATE_TEST_SUITE_P(
  Compression, ForeignFile, ::testing::Values("", "zstd", "lz4"),
  [](const auto & info) {return info.param.empty() ? std::string("none") : info.param;});

// ---- damaged files -----------------------------------------------------------------------------

void expect_bag_error_naming(const std::string & path, const std::string & what)
{
  try {
    McapReader reader(path);
    McapMessage m;
    while (reader.read_next(m)) {
    }
    ADD_FAILURE() << "no error for " << what;
  } catch (const BagError & e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
}

TEST(McapDamage, EveryTruncationIsAnError)
{
  ScratchDir dir;
  for (const std::string compression : {"", "zstd", "lz4"}) {
    McapWriterOptions options;
    options.chunk_size = 100;
    options.compression = compression;
    write_sample(dir / "whole.mcap", options, small_sample());
    const auto bytes = read_file(dir / "whole.mcap");
    std::filesystem::remove(dir / "whole.mcap");
    const std::string cut = dir / "cut.mcap";
    // Every length for the plain file; the compressed ones share its layout, so a stride will do.
    const std::size_t stride = compression.empty() ? 1 : 5;
    for (std::size_t length = 0; length < bytes.size(); length += stride) {
      write_file(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(length)));
      expect_bag_error_naming(cut, compression + " cut at " + std::to_string(length));
    }
  }
}

TEST(McapDamage, CorruptedBytesNeverCrash)
{
  ScratchDir dir;
  McapWriterOptions options;
  options.chunk_size = 100;
  options.compression = "lz4";
  write_sample(dir / "whole.mcap", options, small_sample());
  const auto bytes = read_file(dir / "whole.mcap");
  const std::string bad = dir / "bad.mcap";
  std::mt19937 rng(42);
  int errors = 0;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    auto damaged = bytes;
    damaged[at] ^= static_cast<uint8_t>(1 + rng() % 255);
    write_file(bad, damaged);
    try {
      McapReader reader(bad);
      McapMessage m;
      while (reader.read_next(m)) {
      }
    } catch (const BagError &) {
      ++errors;
    }
  }
  // Every byte of the data section is covered by a CRC, so only summary and footer damage
  // (which the reader does not need) may go unnoticed.
  EXPECT_GT(errors, 0);
}

TEST(McapDamage, ChunkAndDataCrcsAreChecked)
{
  ScratchDir dir;
  McapWriterOptions options;
  options.chunk_size = 1 << 20;
  write_sample(dir / "x.mcap", options);
  auto bytes = read_file(dir / "x.mcap");
  const auto data = records_in(bytes, 8, le64(bytes, bytes.size() - 8 - 20));
  const auto chunk = std::find_if(data.begin(), data.end(), [](const Record & r) {return r.op == 6;});
  ASSERT_NE(chunk, data.end());
  // Flip a byte of the last message's data: only the CRCs can notice.
  const uint64_t last_byte = chunk->offset + 9 + chunk->length - 1;
  bytes[last_byte] ^= 0x01;
  write_file(dir / "chunk.mcap", bytes);
  expect_bag_error_naming(dir / "chunk.mcap", "chunk CRC");

  // With the chunk CRC zeroed ("not computed") the data section CRC still catches it.
  for (int i = 0; i < 4; ++i) {
    bytes[chunk->offset + 9 + 24 + static_cast<uint64_t>(i)] = 0;
  }
  write_file(dir / "data.mcap", bytes);
  expect_bag_error_naming(dir / "data.mcap", "data CRC");
}

TEST(McapDamage, AbsurdSizesAreErrorsNotAllocations)
{
  ScratchDir dir;
  // A zstd chunk that claims an uncompressed size of 2^62 bytes.
  FileBuilder f;
  f.add(header_record(false));
  auto records = channel_record(1, 0, "/t", false);
  const auto m = FileBuilder::message(1, 1, {1, 2, 3});
  records.insert(records.end(), m.begin(), m.end());
  auto chunk = FileBuilder::chunk(records, "zstd", compress("zstd", records));
  for (int i = 0; i < 8; ++i) {
    chunk[9 + 16 + static_cast<std::size_t>(i)] = i == 7 ? 0x40 : 0;
  }
  f.add(chunk);
  write_file(dir / "huge_chunk.mcap", f.finish());
  expect_bag_error_naming(dir / "huge_chunk.mcap", "huge uncompressed size");

  // A record whose length field points far past the end of the file.
  FileBuilder g;
  g.add(header_record(false));
  auto schema = schema_record(1, "a/msg/B", false);
  schema[8] = 0x7f;
  g.add(schema);
  write_file(dir / "huge_record.mcap", g.finish());
  expect_bag_error_naming(dir / "huge_record.mcap", "huge record length");

  // A string length inside a record larger than the record.
  FileBuilder h;
  h.add(header_record(false));
  auto channel = channel_record(1, 0, "/t", false);
  channel[9 + 4 + 3] = 0x10;  // topic length 0x10000002
  h.add(channel);
  write_file(dir / "huge_string.mcap", h.finish());
  expect_bag_error_naming(dir / "huge_string.mcap", "huge string length");
}

TEST(McapDamage, StructuralErrors)
{
  ScratchDir dir;
  {
    FileBuilder f;  // a message before the channel it names
    f.add(header_record(false));
    f.add(FileBuilder::message(3, 1, {1}));
    write_file(dir / "orphan.mcap", f.finish());
    expect_bag_error_naming(dir / "orphan.mcap", "message without channel");
  }
  {
    FileBuilder f;  // no Header record first
    f.add(schema_record(1, "a/msg/B", false));
    write_file(dir / "headless.mcap", f.finish());
    expect_bag_error_naming(dir / "headless.mcap", "no header");
  }
  {
    FileBuilder f;  // a channel naming a schema that never came
    f.add(header_record(false));
    f.add(channel_record(1, 5, "/t", false));
    write_file(dir / "schemaless.mcap", f.finish());
    expect_bag_error_naming(dir / "schemaless.mcap", "unknown schema");
  }
  std::mt19937 rng(3);
  for (std::size_t size : {0, 1, 8, 45, 100, 4096}) {
    std::vector<uint8_t> noise(size);
    for (auto & byte : noise) {
      byte = static_cast<uint8_t>(rng());
    }
    write_file(dir / "noise.mcap", noise);
    expect_bag_error_naming(dir / "noise.mcap", "random bytes");
  }
  EXPECT_THROW(McapReader(dir / "does_not_exist.mcap"), BagError);
  EXPECT_THROW(McapReader(dir.path().string()), BagError);
}

}  // namespace

namespace
{

TEST(McapDamage, LogTimeBeyondSignedNanosecondsIsAnErrorForTheBag)
{
  ScratchDir dir;
  const std::string path = dir / "late.mcap";
  {
    McapWriter writer(path);
    const uint16_t channel = writer.add_channel(0, "/late", "cdr", {});
    const uint8_t byte = 7;
    writer.write(channel, 0, 5, 5, &byte, 1);
    writer.write(channel, 1, (uint64_t{1} << 63) + 5, 0, &byte, 1);
    writer.close();
  }
  // The file itself is well formed...
  McapReader file(path);
  EXPECT_EQ(file.message_count(), 2u);
  // ...but its second message has no bag timestamp: it would read as negative, before the first.
  try {
    sweepmend::bag::Reader::open(path);
    ADD_FAILURE() << "no error";
  } catch (const BagError & e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
}

}  // namespace
