// Bags written here and read back; the files as rosbag2 Humble would find them; damaged inputs.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "storage/bag.hpp"
#include "storage/mcap.hpp"
#include "storage/metadata.hpp"
#include "storage_test_helpers.hpp"

#ifdef SWEEPMEND_TEST_SCHEMA_TEXTS
#include "cdr/message_types.hpp"
#endif

namespace
{

using sweepmend::bag::BagError;
using sweepmend::bag::BagMessage;
using sweepmend::bag::McapReader;
using sweepmend::bag::qos_profile_yaml;
using sweepmend::bag::Reader;
using sweepmend::bag::TopicMetadata;
using sweepmend::bag::Writer;
using storage_test::read_all;
using storage_test::read_file;
using storage_test::ScratchDir;
using storage_test::write_file;
namespace fs = std::filesystem;

// The text rosbag2 Humble records for rclcpp::QoS(10) (reliable, volatile, keep last 10).
const char kReliableVolatile10[] =
  "- history: 1\n  depth: 10\n  reliability: 1\n  durability: 2\n  deadline:\n    sec: 0\n"
  "    nsec: 0\n  lifespan:\n    sec: 0\n    nsec: 0\n  liveliness: 1\n"
  "  liveliness_lease_duration:\n    sec: 0\n    nsec: 0\n  avoid_ros_namespace_conventions: false";

std::vector<TopicMetadata> sample_topics()
{
  return {
    {"/livox/lidar", "livox_ros_driver2/msg/CustomMsg", "cdr", kReliableVolatile10},
    {"/livox/imu", "sensor_msgs/msg/Imu", "cdr", qos_profile_yaml(5, false, false)},
    {"/tf_static", "tf2_msgs/msg/TFMessage", "cdr", qos_profile_yaml(1, true, true)},
  };
}

// Scans, IMU samples and one static transform; IMU stamps step back twice (a restarted source)
// and collide with scan stamps, so the read order differs from the write order.
std::vector<BagMessage> sample_messages()
{
  std::vector<BagMessage> out;
  std::mt19937 rng(11);
  const int64_t t0 = 1'700'000'000'000'000'000;
  auto blob = [&rng](std::size_t size) {
      std::vector<uint8_t> b{0, 1, 0, 0};
      for (std::size_t i = 0; i < size; ++i) {
        b.push_back(static_cast<uint8_t>(rng()));
      }
      return b;
    };
  out.push_back({"/tf_static", t0, blob(60)});
  for (int i = 0; i < 40; ++i) {
    const int64_t imu = t0 + i * 5'000'000 - (i == 17 || i == 30 ? 7'000'000 : 0);
    out.push_back({"/livox/imu", imu, blob(300)});
    if (i % 10 == 0) {
      out.push_back({"/livox/lidar", t0 + i * 5'000'000, blob(i == 20 ? 1 << 20 : 20000)});
    }
  }
  out.push_back({"/livox/imu", t0 + 1, {}});  // an empty blob is still a message
  return out;
}

void write_bag(
  const std::string & dir, const std::string & storage, const std::vector<TopicMetadata> & topics,
  const std::vector<BagMessage> & messages)
{
  auto writer = Writer::create(dir, storage);
  for (const auto & t : topics) {
    writer->create_topic(t);
  }
  for (const auto & m : messages) {
    writer->write(m.topic, m.timestamp, m.data);
  }
  writer->close();
}

std::vector<BagMessage> in_time_order(std::vector<BagMessage> messages)
{
  std::stable_sort(messages.begin(), messages.end(),
    [](const BagMessage & a, const BagMessage & b) {return a.timestamp < b.timestamp;});
  return messages;
}

void expect_same_messages(
  const std::vector<BagMessage> & got, const std::vector<BagMessage> & want, const std::string & what)
{
  ASSERT_EQ(got.size(), want.size()) << what;
  for (std::size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i].topic, want[i].topic) << what << " #" << i;
    ASSERT_EQ(got[i].timestamp, want[i].timestamp) << what << " #" << i;
    ASSERT_EQ(got[i].data, want[i].data) << what << " #" << i;
  }
}

// ---- round trips -------------------------------------------------------------------------------

class BagRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(BagRoundTrip, ReadsBackTopicsCountsTimesAndBytesInTimeOrder)
{
  const std::string storage = GetParam();
  const std::string ext = storage == "mcap" ? ".mcap" : ".db3";
  ScratchDir scratch;
  const std::string dir = scratch / "run_42";
  const auto topics = sample_topics();
  const auto written = sample_messages();
  write_bag(dir, storage, topics, written);

  // rosbag2's layout: metadata.yaml and <dirname>_0.<ext>, nothing else.
  std::set<std::string> files;
  for (const auto & e : fs::directory_iterator(dir)) {
    files.insert(e.path().filename().string());
  }
  EXPECT_EQ(files, (std::set<std::string>{"metadata.yaml", "run_42_0" + ext}));

  const auto expected = in_time_order(written);
  std::map<std::string, uint64_t> counts{{"/livox/lidar", 4}, {"/livox/imu", 41}, {"/tf_static", 1}};
  for (const std::string & path :
    {dir, dir + "/run_42_0" + ext, dir + "/metadata.yaml"})
  {
    auto reader = Reader::open(path);
    EXPECT_EQ(reader->storage_id(), storage) << path;
    ASSERT_EQ(reader->topics().size(), topics.size()) << path;
    for (const TopicMetadata & want : topics) {
      auto it = std::find_if(reader->topics().begin(), reader->topics().end(),
          [&want](const TopicMetadata & t) {return t.name == want.name;});
      ASSERT_NE(it, reader->topics().end()) << want.name;
      EXPECT_EQ(it->type, want.type);
      EXPECT_EQ(it->serialization_format, "cdr");
      EXPECT_EQ(it->offered_qos_profiles, want.offered_qos_profiles);
    }
    EXPECT_EQ(reader->message_counts(), counts) << path;
    EXPECT_EQ(reader->start_time(), expected.front().timestamp) << path;
    EXPECT_EQ(reader->end_time(), expected.back().timestamp) << path;
    expect_same_messages(read_all(*reader), expected, path);
  }
}

TEST_P(BagRoundTrip, EncodedInPlaceGivesTheSameFileAsWrittenFromVectors)
{
  // Messages encoded straight into the storage's buffer: the same bytes read back, and (the
  // writer being deterministic) the very same data file as writing them from vectors.
  ScratchDir scratch;
  const std::string storage = GetParam();
  const std::string ext = storage == "mcap" ? ".mcap" : ".db3";
  const auto written = sample_messages();
  write_bag(scratch / "vectors", storage, sample_topics(), written);
  {
    auto writer = Writer::create(scratch / "encoded", storage);
    for (const auto & t : sample_topics()) {
      writer->create_topic(t);
    }
    for (const auto & m : written) {
      writer->write(m.topic, m.timestamp, m.data.size(), [&m](uint8_t * out) {
          std::copy(m.data.begin(), m.data.end(), out);  // every byte, as the encoder must
        });
    }
    writer->close();
  }
  auto reader = Reader::open(scratch / "encoded");
  expect_same_messages(read_all(*reader), in_time_order(written), "encoded");
  if (storage == "mcap") {
    EXPECT_EQ(read_file((fs::path(scratch / "encoded") / ("encoded_0" + ext)).string()),
      read_file((fs::path(scratch / "vectors") / ("vectors_0" + ext)).string()));
  }
}

TEST_P(BagRoundTrip, EmptyBagHasNoMessagesAndRosbag2sEmptyTimes)
{
  ScratchDir scratch;
  const std::string dir = scratch / "empty";
  write_bag(dir, GetParam(), sample_topics(), {});
  auto reader = Reader::open(dir);
  BagMessage m;
  EXPECT_FALSE(reader->read_next(m));
  EXPECT_EQ(reader->topics().size(), 3u);
  EXPECT_EQ(reader->start_time(), 0);
  EXPECT_EQ(reader->end_time(), 0);
  const YAML::Node info = YAML::LoadFile(dir + "/metadata.yaml")["rosbag2_bagfile_information"];
  EXPECT_EQ(info["message_count"].as<uint64_t>(), 0u);
  EXPECT_EQ(info["starting_time"]["nanoseconds_since_epoch"].as<int64_t>(),
    std::numeric_limits<int64_t>::max());
  EXPECT_EQ(info["duration"]["nanoseconds"].as<int64_t>(), 0);
}

TEST_P(BagRoundTrip, WriterRefusesMisuse)
{
  ScratchDir scratch;
  const std::string storage = GetParam();
  EXPECT_THROW(Writer::create(scratch.path().string(), storage), BagError);  // exists
  auto writer = Writer::create(scratch / "bag/", storage);  // trailing slash
  EXPECT_TRUE(fs::exists(scratch / ("bag/bag_0" + std::string(storage == "mcap" ? ".mcap" : ".db3"))));
  writer->create_topic(sample_topics()[0]);
  writer->create_topic(sample_topics()[0]);  // the same topic again is harmless
  TopicMetadata clash = sample_topics()[0];
  clash.type = "sensor_msgs/msg/PointCloud2";
  EXPECT_THROW(writer->create_topic(clash), BagError);
  EXPECT_THROW(writer->write("/never/created", 1, {1}), BagError);
  writer->write("/livox/lidar", 1, {1});
  writer->close();
  writer->close();
  EXPECT_THROW(writer->write("/livox/lidar", 2, {1}), BagError);
  EXPECT_EQ(read_all(*Reader::open(scratch / "bag")).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Storage, BagRoundTrip, ::testing::Values("sqlite3", "mcap"),
  [](const auto & info) {return info.param;});

TEST(BagWriter, RejectsUnknownStorage)
{
  ScratchDir scratch;
  EXPECT_THROW(Writer::create(scratch / "x", "rosbag1"), BagError);
  EXPECT_FALSE(fs::exists(scratch / "x"));
}

TEST(BagWriter, DestructorFinishesTheBag)
{
  ScratchDir scratch;
  {
    auto writer = Writer::create(scratch / "d", "mcap");
    writer->create_topic(sample_topics()[1]);
    writer->write("/livox/imu", 5, {0, 1, 0, 0});
  }
  auto reader = Reader::open(scratch / "d");
  EXPECT_EQ(read_all(*reader).size(), 1u);
}

// ---- what rosbag2 Humble finds in our files ----------------------------------------------------

TEST(BagFormat, QosProfileTextIsRosbag2s)
{
  EXPECT_EQ(qos_profile_yaml(10, true, false), kReliableVolatile10);
  EXPECT_EQ(qos_profile_yaml(1, false, true),
    "- history: 1\n  depth: 1\n  reliability: 2\n  durability: 1\n  deadline:\n    sec: 0\n"
    "    nsec: 0\n  lifespan:\n    sec: 0\n    nsec: 0\n  liveliness: 1\n"
    "  liveliness_lease_duration:\n    sec: 0\n    nsec: 0\n  avoid_ros_namespace_conventions: false");
}

TEST(BagFormat, MetadataYamlIsHumblesVersion5)
{
  ScratchDir scratch;
  const std::string dir = scratch / "m";
  write_bag(dir, "sqlite3", {{"/imu", "sensor_msgs/msg/Imu", "cdr", kReliableVolatile10}},
    {{"/imu", 1000, {1}}, {"/imu", 400, {2}}, {"/imu", 2500, {3}}});
  std::ifstream in(dir + "/metadata.yaml");
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  const std::string expected =
    "rosbag2_bagfile_information:\n"
    "  version: 5\n"
    "  storage_identifier: sqlite3\n"
    "  duration:\n"
    "    nanoseconds: 2100\n"
    "  starting_time:\n"
    "    nanoseconds_since_epoch: 400\n"
    "  message_count: 3\n"
    "  topics_with_message_count:\n"
    "    - topic_metadata:\n"
    "        name: /imu\n"
    "        type: sensor_msgs/msg/Imu\n"
    "        serialization_format: cdr\n"
    "        offered_qos_profiles: \"- history: 1\\n  depth: 10\\n  reliability: 1\\n  "
    "durability: 2\\n  deadline:\\n    sec: 0\\n    nsec: 0\\n  lifespan:\\n    sec: 0\\n    "
    "nsec: 0\\n  liveliness: 1\\n  liveliness_lease_duration:\\n    sec: 0\\n    nsec: 0\\n  "
    "avoid_ros_namespace_conventions: false\"\n"
    "      message_count: 3\n"
    "  compression_format: \"\"\n"
    "  compression_mode: \"\"\n"
    "  relative_file_paths:\n"
    "    - m_0.db3\n"
    "  files:\n"
    "    - path: m_0.db3\n"
    "      starting_time:\n"
    "        nanoseconds_since_epoch: 400\n"
    "      duration:\n"
    "        nanoseconds: 2100\n"
    "      message_count: 3\n";
  EXPECT_EQ(text, expected);
}

TEST(BagFormat, MetadataTextSurvivesAwkwardStrings)
{
  sweepmend::bag::BagMetadata m;
  m.storage_identifier = "mcap";
  m.message_count = 1;
  m.starting_time = -5;
  sweepmend::bag::TopicInformation t;
  t.topic_metadata = {": odd # topic", "pkg/msg/T", "cdr", "quote \" backslash \\ tab \t"};
  t.message_count = 1;
  m.topics_with_message_count = {t};
  m.relative_file_paths = {"- weird.mcap"};
  const YAML::Node info = YAML::Load(sweepmend::bag::metadata_yaml(m))["rosbag2_bagfile_information"];
  const YAML::Node tm = info["topics_with_message_count"][0]["topic_metadata"];
  EXPECT_EQ(tm["name"].as<std::string>(), ": odd # topic");
  EXPECT_EQ(tm["offered_qos_profiles"].as<std::string>(), "quote \" backslash \\ tab \t");
  EXPECT_EQ(info["relative_file_paths"][0].as<std::string>(), "- weird.mcap");
  EXPECT_EQ(info["starting_time"]["nanoseconds_since_epoch"].as<int64_t>(), -5);
}

std::vector<std::vector<std::string>> query(sqlite3 * db, const std::string & sql)
{
  std::vector<std::vector<std::string>> rows;
  sqlite3_stmt * s = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sql;
  while (s != nullptr && sqlite3_step(s) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int c = 0; c < sqlite3_column_count(s); ++c) {
      const auto * text = sqlite3_column_text(s, c);
      row.push_back(text ? reinterpret_cast<const char *>(text) : "NULL");
    }
    rows.push_back(row);
  }
  sqlite3_finalize(s);
  return rows;
}

TEST(BagFormat, SqliteFileHasHumblesSchema)
{
  ScratchDir scratch;
  const std::string dir = scratch / "s";
  write_bag(dir, "sqlite3", sample_topics(), sample_messages());
  sqlite3 * db = nullptr;
  ASSERT_EQ(sqlite3_open_v2((dir + "/s_0.db3").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
    SQLITE_OK);
  using Rows = std::vector<std::vector<std::string>>;
  EXPECT_EQ(query(db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"),
    (Rows{{"messages"}, {"metadata"}, {"schema"}, {"topics"}}));
  EXPECT_EQ(query(db, "SELECT name, tbl_name FROM sqlite_master WHERE type='index'"),
    (Rows{{"timestamp_idx", "messages"}}));
  EXPECT_EQ(query(db, "SELECT schema_version, ros_distro FROM schema"), (Rows{{"3", "humble"}}));
  EXPECT_EQ(query(db, "SELECT COUNT(*) FROM metadata"), (Rows{{"0"}}));
  EXPECT_EQ(query(db, "SELECT name FROM pragma_table_info('topics')"),
    (Rows{{"id"}, {"name"}, {"type"}, {"serialization_format"}, {"offered_qos_profiles"}}));
  EXPECT_EQ(query(db, "SELECT name FROM pragma_table_info('messages')"),
    (Rows{{"id"}, {"topic_id"}, {"timestamp"}, {"data"}}));
  EXPECT_EQ(query(db, "SELECT name, type, serialization_format FROM topics ORDER BY id"),
    (Rows{{"/livox/lidar", "livox_ros_driver2/msg/CustomMsg", "cdr"},
      {"/livox/imu", "sensor_msgs/msg/Imu", "cdr"}, {"/tf_static", "tf2_msgs/msg/TFMessage", "cdr"}}));
  EXPECT_EQ(query(db, "SELECT offered_qos_profiles FROM topics WHERE id = 1"),
    (Rows{{kReliableVolatile10}}));
  // Humble's read query, verbatim in spirit: join and order by timestamp, then id.
  const Rows order = query(db,
      "SELECT messages.timestamp, topics.name, length(messages.data) FROM messages JOIN topics "
      "ON messages.topic_id = topics.id ORDER BY messages.timestamp, messages.id");
  const auto expected = in_time_order(sample_messages());
  ASSERT_EQ(order.size(), expected.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(order[i][0], std::to_string(expected[i].timestamp));
    EXPECT_EQ(order[i][1], expected[i].topic);
    EXPECT_EQ(order[i][2], std::to_string(expected[i].data.size()));
  }
  sqlite3_close(db);
  // Rollback journal, not WAL: the file stands alone without -wal/-shm companions.
  EXPECT_EQ(read_file(dir + "/s_0.db3").at(18), 1);
}

TEST(BagFormat, McapFileFollowsTheRos2Profile)
{
  ScratchDir scratch;
  const std::string dir = scratch / "p";
  auto writer = Writer::create(dir, "mcap", [](const std::string & type) {
        return type == "sensor_msgs/msg/Imu" ? std::string("std_msgs/Header header\n") : "";
      });
  for (const auto & t : sample_topics()) {
    writer->create_topic(t);
  }
  writer->create_topic({"/imu2", "sensor_msgs/msg/Imu", "cdr", ""});  // shares the Imu schema
  writer->write("/livox/imu", 77, {0, 1, 0, 0, 9});
  writer->close();

  McapReader reader(dir + "/p_0.mcap");
  EXPECT_EQ(reader.profile(), "ros2");
  ASSERT_EQ(reader.schemas().size(), 3u);
  ASSERT_EQ(reader.channels().size(), 4u);
  std::map<std::string, const sweepmend::bag::McapSchema *> schemas;
  for (const auto & kv : reader.schemas()) {
    schemas[kv.second.name] = &kv.second;
  }
  const auto * imu = schemas.at("sensor_msgs/msg/Imu");
  EXPECT_EQ(imu->encoding, "ros2msg");
  EXPECT_EQ(std::string(imu->data.begin(), imu->data.end()), "std_msgs/Header header\n");
  // No definition known: rosbag2 writes the schema with an empty encoding and no text.
  EXPECT_EQ(schemas.at("tf2_msgs/msg/TFMessage")->encoding, "");
  EXPECT_TRUE(schemas.at("tf2_msgs/msg/TFMessage")->data.empty());
  for (const auto & kv : reader.channels()) {
    EXPECT_EQ(kv.second.message_encoding, "cdr");
    ASSERT_EQ(kv.second.metadata.count("offered_qos_profiles"), 1u) << kv.second.topic;
    if (kv.second.topic == "/livox/lidar") {
      EXPECT_EQ(kv.second.metadata.at("offered_qos_profiles"), kReliableVolatile10);
    }
    if (kv.second.topic == "/imu2" || kv.second.topic == "/livox/imu") {
      EXPECT_EQ(kv.second.schema_id, imu->id);
    }
  }
  sweepmend::bag::McapMessage m;
  ASSERT_TRUE(reader.read_next(m));
  EXPECT_EQ(m.sequence, 0u);
  EXPECT_EQ(m.log_time, 77u);
  EXPECT_EQ(m.publish_time, 77u);
}

#ifdef SWEEPMEND_TEST_SCHEMA_TEXTS
TEST(BagFormat, McapSchemasCarryTheCodecsDefinitionsByDefault)
{
  ScratchDir scratch;
  const std::string dir = scratch / "d";
  write_bag(dir, "mcap", {{"/imu", "sensor_msgs/msg/Imu", "cdr", ""},
      {"/other", "foo_msgs/msg/Unknown", "cdr", ""}}, {});
  McapReader reader(dir + "/d_0.mcap");
  ASSERT_EQ(reader.schemas().size(), 2u);
  for (const auto & kv : reader.schemas()) {
    const std::string text(kv.second.data.begin(), kv.second.data.end());
    if (kv.second.name == "sensor_msgs/msg/Imu") {
      const char * want = sweepmend::cdr::ros2msg_definition("sensor_msgs/msg/Imu");
      ASSERT_NE(want, nullptr);
      EXPECT_EQ(kv.second.encoding, "ros2msg");
      EXPECT_EQ(text, want);
      EXPECT_NE(text.find("MSG: std_msgs/Header"), std::string::npos);
    } else {
      EXPECT_EQ(kv.second.encoding, "");
      EXPECT_EQ(text, "");
    }
  }
}
#endif

// ---- SQLite files of other rosbag2 versions, built here with plain SQL ------------------------

void exec_all(const std::string & path, const std::vector<std::string> & statements)
{
  sqlite3 * db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  for (const auto & sql : statements) {
    char * error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
      << sql << ": " << (error ? error : "");
    sqlite3_free(error);
  }
  sqlite3_close(db);
}

TEST(SqliteVersions, ReadsVersion1WithoutQosColumn)
{
  ScratchDir scratch;
  const std::string path = scratch / "v1.db3";
  exec_all(path, {
      "CREATE TABLE topics(id INTEGER PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL, "
      "serialization_format TEXT NOT NULL);",
      "CREATE TABLE messages(id INTEGER PRIMARY KEY, topic_id INTEGER NOT NULL, "
      "timestamp INTEGER NOT NULL, data BLOB NOT NULL);",
      "INSERT INTO topics VALUES (4, '/a', 'std_msgs/msg/String', 'cdr');",
      "INSERT INTO messages VALUES (1, 4, 30, x'00010000');",
      "INSERT INTO messages VALUES (2, 4, 10, x'0001000001');",
      "INSERT INTO messages VALUES (3, 4, 30, x'000100000202');",
      "INSERT INTO messages VALUES (4, 9, 20, x'ff');",  // unknown topic: never read
    });
  auto reader = Reader::open(path);
  ASSERT_EQ(reader->topics().size(), 1u);
  EXPECT_EQ(reader->topics()[0].offered_qos_profiles, "");
  EXPECT_EQ(reader->message_counts().at("/a"), 3u);
  EXPECT_EQ(reader->start_time(), 10);
  EXPECT_EQ(reader->end_time(), 30);
  const auto messages = read_all(*reader);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].timestamp, 10);
  EXPECT_EQ(messages[1].data, (std::vector<uint8_t>{0, 1, 0, 0}));  // id 1 before id 3
  EXPECT_EQ(messages[2].data, (std::vector<uint8_t>{0, 1, 0, 0, 2, 2}));
}

// ---- bag directories ---------------------------------------------------------------------------

TEST(BagDirectory, OldMetadataPathsAreRelativeToTheParent)
{
  ScratchDir scratch;
  write_bag(scratch / "src", "sqlite3", sample_topics(), sample_messages());
  fs::create_directories(scratch / "old");
  fs::copy_file(scratch / "src/src_0.db3", scratch / "old/old_0.db3");
  std::ofstream(scratch / "old/metadata.yaml") <<
    "rosbag2_bagfile_information:\n  version: 3\n  storage_identifier: sqlite3\n"
    "  relative_file_paths:\n    - old/old_0.db3\n  duration:\n    nanoseconds: 0\n"
    "  starting_time:\n    nanoseconds_since_epoch: 0\n  message_count: 46\n"
    "  topics_with_message_count: []\n  compression_format: \"\"\n  compression_mode: \"\"\n";
  auto reader = Reader::open(scratch / "old");
  expect_same_messages(read_all(*reader), in_time_order(sample_messages()), "version 3");
  EXPECT_EQ(reader->topics().size(), 3u);  // from the data file when metadata lists none
}

TEST(BagDirectory, MixedSplitFilesMergeInNumericOrder)
{
  ScratchDir scratch;
  // Split files named as rosbag2 numbers them; _10 must follow _2, and equal stamps keep file order.
  const std::vector<std::pair<std::string, int64_t>> parts{{"a", 10}, {"b", 20}, {"c", 30}};
  const char * names[] = {"split_0", "split_2", "split_10"};
  const char * storages[] = {"sqlite3", "mcap", "sqlite3"};
  std::vector<BagMessage> expected;
  for (int i = 0; i < 3; ++i) {
    const std::string ext = std::string(storages[i]) == "mcap" ? ".mcap" : ".db3";
    const std::string part_dir = scratch / ("part" + std::to_string(i));
    const std::vector<BagMessage> messages{{"/t", 100, {static_cast<uint8_t>(i)}},
      {"/t", 100 + 10 * i, {static_cast<uint8_t>(10 + i)}}};
    write_bag(part_dir, storages[i], {{"/t", "std_msgs/msg/String", "cdr", ""}}, messages);
    fs::create_directories(scratch / "split");
    fs::copy_file(part_dir + "/part" + std::to_string(i) + "_0" + ext,
      scratch / ("split/" + std::string(names[i]) + ext));
    expected.insert(expected.end(), messages.begin(), messages.end());
  }
  // Expected: file order 0, 2, 10, merged stably by time.
  auto reader = Reader::open(scratch / "split");
  expect_same_messages(read_all(*reader), in_time_order(expected), "split");
  EXPECT_EQ(reader->message_counts().at("/t"), 6u);
  EXPECT_EQ(reader->start_time(), 100);
  EXPECT_EQ(reader->end_time(), 120);
}

// ---- inputs that are not bags ------------------------------------------------------------------

void expect_bag_error(const std::string & path, const std::string & what)
{
  try {
    auto reader = Reader::open(path);
    read_all(*reader);
    ADD_FAILURE() << "no error for " << what;
  } catch (const BagError & e) {
    EXPECT_FALSE(std::string(e.what()).empty());
  }
}

TEST(BagDamage, BrokenInputsAreBagErrors)
{
  ScratchDir scratch;
  // A database without the messages table.
  exec_all(scratch / "nomsg.db3", {
      "CREATE TABLE topics(id INTEGER PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL, "
      "serialization_format TEXT NOT NULL, offered_qos_profiles TEXT NOT NULL);"});
  expect_bag_error(scratch / "nomsg.db3", "no messages table");

  std::mt19937 rng(5);
  std::vector<uint8_t> noise(5000);
  for (auto & b : noise) {
    b = static_cast<uint8_t>(rng());
  }
  for (const char * name : {"noise.db3", "noise.mcap", "noise.bin", "noise"}) {
    write_file(scratch / name, noise);
    expect_bag_error(scratch / name, name);
  }
  // An SQLite header followed by garbage.
  std::vector<uint8_t> fake(noise);
  const char header[] = "SQLite format 3";
  std::copy(header, header + 16, fake.begin());
  write_file(scratch / "fake.db3", fake);
  expect_bag_error(scratch / "fake.db3", "sqlite header and noise");

  // A real bag with its data file cut short.
  write_bag(scratch / "cut", "sqlite3", sample_topics(), sample_messages());
  auto bytes = read_file(scratch / "cut/cut_0.db3");
  bytes.resize(bytes.size() / 3);
  write_file(scratch / "cut/cut_0.db3", bytes);
  expect_bag_error(scratch / "cut", "truncated db3");

  expect_bag_error(scratch / "does/not/exist", "missing path");
  fs::create_directories(scratch / "emptydir");
  expect_bag_error(scratch / "emptydir", "directory without bag files");

  fs::create_directories(scratch / "lost");
  std::ofstream(scratch / "lost/metadata.yaml") <<
    "rosbag2_bagfile_information:\n  version: 5\n  storage_identifier: sqlite3\n"
    "  relative_file_paths:\n    - lost_0.db3\n  duration:\n    nanoseconds: 0\n"
    "  starting_time:\n    nanoseconds_since_epoch: 0\n  message_count: 0\n"
    "  topics_with_message_count: []\n";
  expect_bag_error(scratch / "lost", "listed file missing");

  fs::create_directories(scratch / "badyaml");
  std::ofstream(scratch / "badyaml/metadata.yaml") << "rosbag2_bagfile_information:\n  version: [";
  expect_bag_error(scratch / "badyaml", "unparsable metadata");

  fs::create_directories(scratch / "nokeys");
  std::ofstream(scratch / "nokeys/metadata.yaml") <<
    "rosbag2_bagfile_information:\n  version: 5\n  storage_identifier: sqlite3\n";
  expect_bag_error(scratch / "nokeys", "metadata without required keys");

  // A scalar or a sequence where a map belongs: yaml-cpp's own exceptions must not escape.
  const std::string complete =
    "rosbag2_bagfile_information:\n  version: 5\n  storage_identifier: sqlite3\n"
    "  relative_file_paths:\n    - odd_0.db3\n  duration:\n    nanoseconds: 0\n"
    "  starting_time:\n    nanoseconds_since_epoch: 0\n  message_count: 0\n"
    "  topics_with_message_count: []\n";
  auto with = [&](const std::string & from, const std::string & to) {
      std::string text = complete;
      text.replace(text.find(from), from.size(), to);
      return text;
    };
  const std::vector<std::pair<std::string, std::string>> shapes = {
    {"starting_time: scalar", with("starting_time:\n    nanoseconds_since_epoch: 0", "starting_time: 5")},
    {"duration: sequence", with("duration:\n    nanoseconds: 0", "duration: [1, 2]")},
    {"topic entry: scalar", with("topics_with_message_count: []",
        "topics_with_message_count:\n    - just a name")},
    {"files entry: scalar", complete + "  files:\n    - odd_0.db3\n"}};
  for (const auto & [what, text] : shapes) {
    fs::remove_all(scratch / "odd");
    fs::create_directories(scratch / "odd");
    std::ofstream(scratch / "odd/metadata.yaml") << text;
    expect_bag_error(scratch / "odd", what);
  }
}

}  // namespace
