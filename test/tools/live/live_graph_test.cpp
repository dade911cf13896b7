// Multi-process runs over DDS on loopback: play -> sweepmend_node -> record with /clock and
// use_sim_time must give the very clouds that the offline runner makes of the same recording;
// a signal in the middle of a live run leaves a complete recorded bag.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "cdr/cdr.hpp"
#include "child_process.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "storage/bag.hpp"

namespace fs = std::filesystem;
using sweepmend_test::ChildProcess;
using sweepmend_test::loopback_env;

namespace
{

const std::string kUndistorted = "/livox/lidar_undistorted";
const std::string kRaw = "/livox/lidar_undistorted_raw";
// Playback speed. The node's scan subscription keeps the last scan only (depth 1) and its IMU
// subscription the last 10 samples: a scan or IMU sample that arrives while the node's one
// thread is still busy with an earlier cycle for longer than that replaces the unread one, and
// the run then differs from the offline one. Publishing two 1.8-MB Vanjee clouds takes tens of
// milliseconds on an idle machine but up to half a second on a loaded 2-core runner, so the tests
// play at a fifth of the recorded pace, which leaves the node five times the margin and changes
// nothing else: the clock follows the bag and the node's outputs depend on the data alone.
const char kRate[] = "0.2";

std::map<std::string, std::vector<sweepmend::bag::BagMessage>> read_by_topic(const fs::path & bag)
{
  auto reader = sweepmend::bag::Reader::open(bag.string());
  std::map<std::string, std::vector<sweepmend::bag::BagMessage>> out;
  sweepmend::bag::BagMessage m;
  while (reader->read_next(m)) {
    out[m.topic].push_back(m);
  }
  return out;
}

struct Sensor
{
  const char * lidar;    // sweepmend_synth --lidar
  const char * params;   // config/<params>.yaml
  int domain;
};

void PrintTo(const Sensor & s, std::ostream * os) {*os << s.lidar;}

class LiveGraphTest : public ::testing::TestWithParam<Sensor>
{
protected:
  void SetUp() override
  {
    dir_ = fs::temp_directory_path() /
      ("sweepmend_live_graph_" + std::string(GetParam().lidar) + "_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    params_ = std::string(SWEEPMEND_SOURCE_DIR) + "/config/" + GetParam().params + ".yaml";
    // Each test of the suite in a domain of its own: ctest may run them side by side.
    const bool sigint = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())
      .find("Sigint") != std::string::npos;
    env_ = loopback_env(GetParam().domain + (sigint ? 2 : 0));
  }
  void TearDown() override
  {
    if (!HasFailure()) {
      fs::remove_all(dir_);
    }
  }

  // A synthetic recording and what the offline runner makes of it.
  void make_recording(double seconds)
  {
    ChildProcess synth(
      {SWEEPMEND_SYNTH_EXE, (dir_ / "in").string(), "--lidar", GetParam().lidar, "--motion",
        "shake", "--duration", std::to_string(seconds)}, {}, (dir_ / "synth.log").string());
    ASSERT_EQ(synth.wait(), 0) << synth.log();
    ChildProcess offline(
      {SWEEPMEND_BAG_EXE, (dir_ / "in").string(), (dir_ / "offline").string(), "--ros-args",
        "--params-file", params_}, {}, (dir_ / "offline.log").string());
    ASSERT_EQ(offline.wait(), 0) << offline.log();
  }

  std::unique_ptr<ChildProcess> start_node()
  {
    auto node = std::make_unique<ChildProcess>(
      std::vector<std::string>{SWEEPMEND_NODE_EXE, "--ros-args", "--params-file", params_, "-p",
        "use_sim_time:=true"}, env_, (dir_ / "node.log").string());
    return node;
  }

  std::unique_ptr<ChildProcess> start_recorder()
  {
    auto rec = std::make_unique<ChildProcess>(
      std::vector<std::string>{SWEEPMEND_BAG_EXE, "record", (dir_ / "live").string(),
        kUndistorted, kRaw}, env_, (dir_ / "record.log").string());
    // It subscribes once the node's publishers have made the topics' types known.
    EXPECT_TRUE(rec->wait_for_log("recording " + kRaw + " (", 30.0)) << rec->log();
    EXPECT_TRUE(rec->wait_for_log("recording " + kUndistorted + " (", 5.0)) << rec->log();
    // The recorder has subscribed; the node's writers still have to discover its readers.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    return rec;
  }

  std::unique_ptr<ChildProcess> start_player()
  {
    return std::make_unique<ChildProcess>(
      std::vector<std::string>{SWEEPMEND_BAG_EXE, "play", (dir_ / "in").string(), "--clock",
        "100", "--rate", kRate, "--topics", "/livox/imu", "/livox/lidar", "--wait-for-subscribers", "30"},
      env_, (dir_ / "play.log").string());
  }

  fs::path dir_;
  std::string params_;
  std::map<std::string, std::string> env_;
};

TEST_P(LiveGraphTest, EveryCloudEqualsTheOfflineRunsByteForByte)
{
  make_recording(2.5);
  if (HasFatalFailure()) {
    return;
  }
  auto node = start_node();
  auto rec = start_recorder();
  auto player = start_player();
  ASSERT_EQ(player->wait(60.0), 0) << player->log();
  // The last cycles run on the clock's tail; give their clouds time to arrive.
  const auto offline = read_by_topic(dir_ / "offline");
  const size_t expected = offline.at(kRaw).size();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(rec->stop(SIGINT), 0) << rec->log();
  EXPECT_EQ(node->stop(SIGINT), 0) << node->log();

  const auto live = read_by_topic(dir_ / "live");
  ASSERT_GT(expected, 20u);
  for (const auto & topic : {kUndistorted, kRaw}) {
    const auto & want = offline.at(topic);
    ASSERT_TRUE(live.count(topic)) << topic << "\n" << rec->log();
    const auto & got = live.at(topic);
    EXPECT_EQ(got.size(), want.size()) << topic;
    size_t equal = 0;
    for (size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
      // Both bags hold the codec's encoding of the received message; the node's wire padding
      // is not part of it.
      if (got[i].data == want[i].data) {
        ++equal;
      } else {
        const auto a = sweepmend::cdr::deserialize<sensor_msgs::msg::PointCloud2>(got[i].data);
        const auto b = sweepmend::cdr::deserialize<sensor_msgs::msg::PointCloud2>(want[i].data);
        ADD_FAILURE() << topic << " cloud " << i << " differs: stamps " << a.header.stamp.sec << "."
                      << a.header.stamp.nanosec << " vs " << b.header.stamp.sec << "."
                      << b.header.stamp.nanosec << ", widths " << a.width << " vs " << b.width;
      }
    }
    EXPECT_EQ(equal, want.size()) << topic;
    RecordProperty(topic + "_matched", std::to_string(equal) + " of " + std::to_string(want.size()));
  }
}

TEST_P(LiveGraphTest, SigintDuringALiveRunLeavesACompleteBag)
{
  make_recording(2.0);
  if (HasFatalFailure()) {
    return;
  }
  auto node = start_node();
  auto rec = start_recorder();
  auto player = start_player();
  // Stop the recorder while clouds are still coming.
  const auto offline = read_by_topic(dir_ / "offline");
  for (int i = 0; i < 200; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (fs::exists(dir_ / "live")) {
      break;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(4000));
  EXPECT_EQ(rec->stop(SIGINT), 0) << rec->log();
  EXPECT_EQ(player->wait(60.0), 0) << player->log();
  EXPECT_EQ(node->stop(SIGINT), 0) << node->log();

  ASSERT_TRUE(fs::exists(dir_ / "live" / "metadata.yaml"));
  auto reader = sweepmend::bag::Reader::open((dir_ / "live").string());
  const auto counts = reader->message_counts();
  const auto live = read_by_topic(dir_ / "live");
  ASSERT_TRUE(live.count(kRaw)) << rec->log();
  const auto & got = live.at(kRaw);
  const auto & want = offline.at(kRaw);
  // Part of the run: a prefix of the offline clouds, every one complete and equal.
  EXPECT_GT(got.size(), 0u);
  EXPECT_LT(got.size(), want.size());
  EXPECT_EQ(counts.at(kRaw), got.size());
  for (size_t i = 0; i < got.size() && i < want.size(); ++i) {
    EXPECT_EQ(got[i].data, want[i].data) << "cloud " << i;
  }
  // The recorder's summary counts what the bag holds.
  EXPECT_NE(
    rec->log().find("recorded on " + kRaw + ": " + std::to_string(got.size())), std::string::npos)
    << rec->log();
}

INSTANTIATE_TEST_SUITE_P(
  Sensors, LiveGraphTest,
  ::testing::Values(Sensor{"mid360", "mid360", 161}, Sensor{"vanjee722", "vanjee722", 162}),
  [](const ::testing::TestParamInfo<Sensor> & info) {return std::string(info.param.lidar);});

}  // namespace
