// Files written by other projects: rosbag2's own test bags and the MCAP conformance files.
#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "storage/bag.hpp"
#include "storage/mcap.hpp"
#include "storage_test_helpers.hpp"

namespace
{

using sweepmend::bag::BagMessage;
using sweepmend::bag::McapMessage;
using sweepmend::bag::McapReader;
using sweepmend::bag::Reader;
using storage_test::fixtures_dir;
using storage_test::read_all;
namespace fs = std::filesystem;

std::string rosbag2_dir(const std::string & name)
{
  return (fixtures_dir() / "rosbag2" / name).string();
}

void expect_time_ordered(const std::vector<BagMessage> & messages, const std::string & what)
{
  for (std::size_t i = 1; i < messages.size(); ++i) {
    ASSERT_LE(messages[i - 1].timestamp, messages[i].timestamp) << what << " at message " << i;
  }
}

// ---- rosbag2 bags with metadata.yaml ---------------------------------------------------------

class Rosbag2BagTest : public ::testing::TestWithParam<std::string> {};

TEST_P(Rosbag2BagTest, ReadsWhatItsMetadataSays)
{
  SKIP_WITHOUT_FIXTURES();
  const std::string dir = rosbag2_dir(GetParam());
  // The expectations come straight from the bag's own metadata.yaml.
  const YAML::Node info = YAML::LoadFile(dir + "/metadata.yaml")["rosbag2_bagfile_information"];
  ASSERT_TRUE(info);

  auto reader = Reader::open(dir);
  EXPECT_EQ(reader->storage_id(), info["storage_identifier"].as<std::string>());

  std::map<std::string, uint64_t> expected_counts;
  for (const YAML::Node & t : info["topics_with_message_count"]) {
    const YAML::Node tm = t["topic_metadata"];
    const std::string name = tm["name"].as<std::string>();
    expected_counts[name] = t["message_count"].as<uint64_t>();
    const auto & topics = reader->topics();
    auto it = std::find_if(
      topics.begin(), topics.end(), [&name](const auto & topic) {return topic.name == name;});
    ASSERT_NE(it, topics.end()) << name;
    EXPECT_EQ(it->type, tm["type"].as<std::string>());
    EXPECT_EQ(it->serialization_format, tm["serialization_format"].as<std::string>());
    EXPECT_EQ(it->offered_qos_profiles, tm["offered_qos_profiles"].as<std::string>());
  }
  EXPECT_EQ(reader->topics().size(), expected_counts.size());
  EXPECT_EQ(reader->message_counts(), expected_counts);

  const std::vector<BagMessage> messages = read_all(*reader);
  ASSERT_EQ(messages.size(), info["message_count"].as<uint64_t>());
  expect_time_ordered(messages, dir);
  std::map<std::string, uint64_t> seen;
  for (const auto & kv : expected_counts) {
    seen[kv.first] = 0;
  }
  for (const BagMessage & m : messages) {
    ++seen[m.topic];
    // Every rosbag2 blob is a complete CDR buffer: little-endian encapsulation header first.
    ASSERT_GE(m.data.size(), 4u);
    EXPECT_EQ(m.data[0], 0);
    EXPECT_EQ(m.data[1], 1);
  }
  EXPECT_EQ(seen, expected_counts);
  if (!messages.empty()) {
    const int64_t start = info["starting_time"]["nanoseconds_since_epoch"].as<int64_t>();
    const int64_t duration = info["duration"]["nanoseconds"].as<int64_t>();
    EXPECT_EQ(messages.front().timestamp, start);
    EXPECT_EQ(messages.back().timestamp, start + duration);
    EXPECT_EQ(reader->start_time(), start);
    EXPECT_EQ(reader->end_time(), start + duration);
  }
}

INSTANTIATE_TEST_SUITE_P(
  WithMetadata, Rosbag2BagTest,
  ::testing::Values(
    "talker_sqlite3", "talker_mcap", "cdr_test_sqlite3", "cdr_test_mcap", "rewriter_b_mcap",
    "empty_bag_sqlite3"),
  [](const ::testing::TestParamInfo<std::string> & info) {return info.param;});

TEST(Rosbag2Fixtures, TalkerHoldsTheHelloWorldStrings)
{
  SKIP_WITHOUT_FIXTURES();
  for (const char * bag : {"talker_sqlite3", "talker_mcap"}) {
    auto reader = Reader::open(rosbag2_dir(bag));
    int index = 0;
    for (const BagMessage & m : read_all(*reader)) {
      if (m.topic != "/topic") {
        continue;
      }
      // std_msgs/String: header, u32 length including the NUL, the text, NUL.
      const std::string text = "Hello, world! " + std::to_string(index++);
      ASSERT_EQ(m.data.size(), 4 + 4 + text.size() + 1) << bag;
      EXPECT_EQ(m.data[4], text.size() + 1);
      EXPECT_EQ(std::string(m.data.begin() + 8, m.data.end() - 1), text) << bag;
    }
    EXPECT_EQ(index, 10) << bag;
  }
}

// The same recordings were stored with both plugins; both readers must yield the same stream.
TEST(Rosbag2Fixtures, SqliteAndMcapCopiesYieldTheSameMessages)
{
  SKIP_WITHOUT_FIXTURES();
  const std::pair<const char *, const char *> pairs[] = {
    {"talker_sqlite3", "talker_mcap"},
    {"cdr_test_sqlite3", "cdr_test_mcap"},
    {"multiple_files_sqlite3_no_metadata", "multiple_files_mcap_no_metadata"}};
  for (const auto & pair : pairs) {
    auto a = Reader::open(rosbag2_dir(pair.first));
    auto b = Reader::open(rosbag2_dir(pair.second));
    const auto ma = read_all(*a);
    const auto mb = read_all(*b);
    ASSERT_EQ(ma.size(), mb.size()) << pair.first;
    ASSERT_FALSE(ma.empty()) << pair.first;
    for (std::size_t i = 0; i < ma.size(); ++i) {
      EXPECT_EQ(ma[i].topic, mb[i].topic) << pair.first << " #" << i;
      EXPECT_EQ(ma[i].timestamp, mb[i].timestamp) << pair.first << " #" << i;
      EXPECT_EQ(ma[i].data, mb[i].data) << pair.first << " #" << i;
    }
  }
}

// ---- multi-file bags without metadata.yaml ---------------------------------------------------

class MultiFileBagTest : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(MultiFileBagTest, MergesItsFilesAndEachFileOpensAlone)
{
  SKIP_WITHOUT_FIXTURES();
  const std::string dir = rosbag2_dir(GetParam().first);
  const std::string ext = GetParam().second;

  // Expected stream: every file read on its own, then merged by time (earlier file first).
  std::vector<std::tuple<int64_t, int, std::size_t>> order;
  std::vector<std::vector<BagMessage>> per_file;
  uint64_t total = 0;
  for (int i = 0; i < 3; ++i) {
    const std::string file = dir + "/multiple_files_" + std::to_string(i) + ext;
    auto reader = Reader::open(file);
    per_file.push_back(read_all(*reader));
    const auto & messages = per_file.back();
    ASSERT_FALSE(messages.empty()) << file;
    expect_time_ordered(messages, file);
    ASSERT_EQ(reader->message_counts().at("/chatter"), messages.size()) << file;
    EXPECT_EQ(reader->start_time(), messages.front().timestamp);
    EXPECT_EQ(reader->end_time(), messages.back().timestamp);
    for (std::size_t k = 0; k < messages.size(); ++k) {
      order.emplace_back(messages[k].timestamp, i, k);
    }
    total += messages.size();
  }
  std::stable_sort(order.begin(), order.end());

  auto bag = Reader::open(dir);
  ASSERT_EQ(bag->topics().size(), 1u);
  EXPECT_EQ(bag->topics()[0].name, "/chatter");
  EXPECT_EQ(bag->topics()[0].type, "std_msgs/msg/String");
  EXPECT_EQ(bag->message_counts().at("/chatter"), total);
  const auto merged = read_all(*bag);
  ASSERT_EQ(merged.size(), order.size());
  for (std::size_t i = 0; i < merged.size(); ++i) {
    const BagMessage & want = per_file[std::get<1>(order[i])][std::get<2>(order[i])];
    ASSERT_EQ(merged[i].timestamp, want.timestamp) << i;
    ASSERT_EQ(merged[i].data, want.data) << i;
  }
  EXPECT_EQ(bag->start_time(), merged.front().timestamp);
  EXPECT_EQ(bag->end_time(), merged.back().timestamp);
}

INSTANTIATE_TEST_SUITE_P(
  NoMetadata, MultiFileBagTest,
  ::testing::Values(
    std::make_pair(std::string("multiple_files_sqlite3_no_metadata"), std::string(".db3")),
    std::make_pair(std::string("multiple_files_mcap_no_metadata"), std::string(".mcap"))),
  [](const auto & info) {return info.param.second.substr(1);});

// ---- the empty bag with SQLite side files ----------------------------------------------------

TEST(Rosbag2Fixtures, EmptyBagOpensWithoutTouchingItsSideFiles)
{
  SKIP_WITHOUT_FIXTURES();
  const fs::path dir = rosbag2_dir("empty_bag_sqlite3");
  auto snapshot = [&dir]() {
      std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> files;
      for (const auto & e : fs::directory_iterator(dir)) {
        files[e.path().filename().string()] = {e.file_size(), e.last_write_time()};
      }
      return files;
    };
  const auto before = snapshot();
  ASSERT_EQ(before.count("empty_bag_0.db3-wal"), 1u);
  ASSERT_EQ(before.count("empty_bag_0.db3-shm"), 1u);
  {
    auto bag = Reader::open(dir.string());
    BagMessage msg;
    EXPECT_FALSE(bag->read_next(msg));
    EXPECT_EQ(bag->start_time(), 0);
    EXPECT_EQ(bag->end_time(), 0);
    const std::map<std::string, uint64_t> zero{{"/parameter_events", 0}, {"/rosout", 0}};
    EXPECT_EQ(bag->message_counts(), zero);

    auto file = Reader::open((dir / "empty_bag_0.db3").string());
    EXPECT_EQ(file->topics().size(), 2u);
    EXPECT_FALSE(file->read_next(msg));
  }
  EXPECT_EQ(snapshot(), before);
}

// ---- MCAP conformance files ------------------------------------------------------------------

struct ExpectedMessage
{
  std::string topic;
  std::string schema_name;
  uint64_t log_time;
  uint64_t publish_time;
  uint32_t sequence;
  std::vector<uint8_t> data;
};

std::map<std::string, YAML::Node> fields_of(const YAML::Node & record)
{
  std::map<std::string, YAML::Node> out;
  for (const YAML::Node & f : record["fields"]) {
    out[f[0].as<std::string>()] = f[1];
  }
  return out;
}

// The JSON record list (JSON is YAML) reduced to its Message records, resolved to topic and
// schema names through its own Channel and Schema records.
std::vector<ExpectedMessage> expected_messages(const fs::path & json)
{
  const YAML::Node root = YAML::LoadFile(json.string());
  std::map<uint64_t, std::string> schema_names;
  std::map<uint64_t, std::pair<std::string, uint64_t>> channels;
  std::vector<ExpectedMessage> out;
  for (const YAML::Node & record : root["records"]) {
    const std::string type = record["type"].as<std::string>();
    auto f = fields_of(record);
    if (type == "Schema") {
      schema_names[f["id"].as<uint64_t>()] = f["name"].as<std::string>();
    } else if (type == "Channel") {
      channels[f["id"].as<uint64_t>()] = {f["topic"].as<std::string>(),
        f["schema_id"].as<uint64_t>()};
    } else if (type == "Message") {
      ExpectedMessage m;
      const auto & channel = channels.at(f["channel_id"].as<uint64_t>());
      m.topic = channel.first;
      m.schema_name = channel.second == 0 ? "" : schema_names.at(channel.second);
      m.log_time = f["log_time"].as<uint64_t>();
      m.publish_time = f["publish_time"].as<uint64_t>();
      m.sequence = f["sequence"].as<uint32_t>();
      for (const YAML::Node & byte : f["data"]) {
        m.data.push_back(static_cast<uint8_t>(byte.as<unsigned>()));
      }
      out.push_back(m);
    }
  }
  return out;
}

std::vector<fs::path> conformance_files()
{
  std::vector<fs::path> files;
  const fs::path root = fixtures_dir() / "mcap-conformance";
  std::error_code ec;
  for (const auto & e : fs::recursive_directory_iterator(root, ec)) {
    if (e.path().extension() == ".mcap") {
      files.push_back(e.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

void expect_same(
  McapReader & reader, const std::vector<ExpectedMessage> & expected, const fs::path & file)
{
  McapMessage msg;
  std::size_t i = 0;
  while (reader.read_next(msg)) {
    ASSERT_LT(i, expected.size()) << file;
    const ExpectedMessage & want = expected[i];
    EXPECT_EQ(reader.channel(msg.channel_id).topic, want.topic) << file << " #" << i;
    EXPECT_EQ(reader.schema_name(msg.channel_id), want.schema_name) << file << " #" << i;
    EXPECT_EQ(msg.log_time, want.log_time) << file << " #" << i;
    EXPECT_EQ(msg.publish_time, want.publish_time) << file << " #" << i;
    EXPECT_EQ(msg.sequence, want.sequence) << file << " #" << i;
    EXPECT_EQ(msg.data, want.data) << file << " #" << i;
    ++i;
  }
  EXPECT_EQ(i, expected.size()) << file;
}

TEST(McapConformance, EveryFileYieldsTheMessagesOfItsRecordList)
{
  SKIP_WITHOUT_FIXTURES();
  const auto files = conformance_files();
  ASSERT_GE(files.size(), 100u);
  std::set<std::string> families;
  for (const fs::path & file : files) {
    fs::path json = file;
    json.replace_extension(".json");
    const auto expected = expected_messages(json);
    families.insert(file.parent_path().filename().string());

    // File order: exactly the record list.
    McapReader in_file_order(file.string(), McapReader::Order::file);
    expect_same(in_file_order, expected, file);

    // Log-time order (what a bag plays): the record list sorted stably by log time.
    auto by_time = expected;
    std::stable_sort(
      by_time.begin(), by_time.end(),
      [](const ExpectedMessage & a, const ExpectedMessage & b) {return a.log_time < b.log_time;});
    McapReader in_time_order(file.string());
    expect_same(in_time_order, by_time, file);
    EXPECT_EQ(in_time_order.message_count(), expected.size()) << file;

    // The bag view of the same file.
    auto bag = Reader::open(file.string());
    const auto messages = read_all(*bag);
    ASSERT_EQ(messages.size(), by_time.size()) << file;
    for (std::size_t i = 0; i < messages.size(); ++i) {
      EXPECT_EQ(messages[i].topic, by_time[i].topic) << file;
      EXPECT_EQ(messages[i].timestamp, static_cast<int64_t>(by_time[i].log_time)) << file;
      EXPECT_EQ(messages[i].data, by_time[i].data) << file;
    }
  }
  const std::set<std::string> all{"NoData", "OneAttachment", "OneMessage", "OneMetadata",
    "OneSchemalessMessage", "TenMessages"};
  EXPECT_EQ(families, all);
}

TEST(McapConformance, TenMessagesIsReorderedByLogTime)
{
  SKIP_WITHOUT_FIXTURES();
  // The record list has log times 0 2 1 3 3 5 4 7 8 9 with sequences 0..9; sorted stably the
  // sequences become 0 2 1 3 4 6 5 7 8 9.
  McapReader reader(
    (fixtures_dir() / "mcap-conformance/TenMessages/TenMessages-ch-chx-mx.mcap").string());
  std::vector<uint32_t> sequences;
  McapMessage msg;
  while (reader.read_next(msg)) {
    sequences.push_back(msg.sequence);
  }
  EXPECT_EQ(sequences, (std::vector<uint32_t>{0, 2, 1, 3, 4, 6, 5, 7, 8, 9}));
}

}  // namespace
