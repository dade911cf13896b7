// sweepmend_bag play and record on the in-process transport: what record writes is what play
// read, at the recorded pace, with /clock and transient-local history; a signal ends a recording
// with a complete bag.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cdr/cdr.hpp"
#include "child_process.hpp"
#include "live/player.hpp"
#include "live/recorder.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "storage/bag.hpp"
#include "tf2_msgs/msg/tf_message.hpp"
#include "tool_test_helpers.hpp"

namespace fs = std::filesystem;
using sweepmend::bag::BagMessage;
using sweepmend_test::read_bag;
using sweepmend_test::stamp_of;

namespace
{

constexpr int64_t kStart = 50'000'000'000;  // the recording's first receive time, ns
constexpr int64_t kMs = 1'000'000;

// 0.4 s of IMU at 200 Hz and four clouds of different sizes, in receive-time order.
std::vector<BagMessage> recording()
{
  std::vector<BagMessage> out;
  for (int i = 0; i < 80; ++i) {
    const int64_t t = kStart + i * 5 * kMs;
    sensor_msgs::msg::Imu imu;
    imu.header.stamp = stamp_of(t);
    imu.header.frame_id = "imu_link";
    imu.angular_velocity.z = 0.01 * i;
    imu.linear_acceleration.z = 9.81;
    out.push_back({"/livox/imu", t, sweepmend::cdr::serialize(imu)});
    if (i % 20 == 7) {
      sensor_msgs::msg::PointCloud2 cloud;
      cloud.header.stamp = stamp_of(t);
      cloud.header.frame_id = "lidar";
      cloud.height = 1;
      cloud.width = static_cast<uint32_t>(100 * (i + 1));
      cloud.point_step = 16;
      cloud.row_step = 16 * cloud.width;
      cloud.data.resize(cloud.row_step);
      for (size_t k = 0; k < cloud.data.size(); ++k) {
        cloud.data[k] = static_cast<uint8_t>(k * 7 + static_cast<size_t>(i));
      }
      // A 3-byte tail after the cloud's data: the encoder's output length is no multiple of 4.
      cloud.is_dense = true;
      out.push_back({"/points", t + 1, sweepmend::cdr::serialize(cloud)});
    }
  }
  return out;
}

void write_bag(
  const fs::path & dir, const std::vector<BagMessage> & messages,
  const std::map<std::string, std::string> & types, bool transient_local = false)
{
  sweepmend_test::write_bag(
    dir, "sqlite3", types, messages, sweepmend::bag::qos_profile_yaml(10, true, transient_local));
}

std::map<std::string, std::vector<BagMessage>> by_topic(const std::vector<BagMessage> & messages)
{
  std::map<std::string, std::vector<BagMessage>> out;
  for (const auto & m : messages) {
    out[m.topic].push_back(m);
  }
  return out;
}

class LiveToolsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    dir_ = sweepmend_test::fresh_test_dir("sweepmend_live_test");
    rclcpp::init(0, nullptr, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None);
  }
  void TearDown() override
  {
    rclcpp::shutdown();
    fs::remove_all(dir_);
  }

  // Records `options` on a thread until stop_ is set; returns once every topic in `expect` is
  // subscribed.
  void start_recording(const sweepmend::live::RecordOptions & options, size_t expect)
  {
    recorder_ = std::thread([this, options]() {
        counts_ = sweepmend::live::record(
          options, stop_, [this](const std::string &, const std::string &) {++subscribed_;});
      });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (subscribed_ < expect && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(subscribed_.load(), expect);
  }
  void stop_recording()
  {
    stop_ = true;
    recorder_.join();
  }

  fs::path dir_;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> subscribed_{0};
  std::thread recorder_;
  std::map<std::string, uint64_t> counts_;
};

const std::map<std::string, std::string> kTypes = {
  {"/livox/imu", "sensor_msgs/msg/Imu"}, {"/points", "sensor_msgs/msg/PointCloud2"}};

TEST_F(LiveToolsTest, RecordGetsEveryPlayedMessageByteForByteInOrder)
{
  const auto input = recording();
  write_bag(dir_ / "in", input, kTypes);

  auto player = std::make_shared<rclcpp::Node>("player");
  sweepmend::live::RecordOptions rec;
  rec.output = (dir_ / "out").string();
  rec.topics = {"/livox/imu", "/points"};
  // The player's publishers make the topics known; the recorder subscribes once it sees them.
  sweepmend::live::PlayOptions play;
  play.input = (dir_ / "in").string();
  play.rate = 4.0;
  play.wait_for_subscribers = 10.0;
  std::atomic<bool> no_stop{false};
  sweepmend::live::PlaySummary summary;
  std::thread player_thread([&]() {summary = sweepmend::live::play(*player, play, no_stop);});
  start_recording(rec, 2);
  player_thread.join();
  stop_recording();

  EXPECT_FALSE(summary.interrupted);
  EXPECT_EQ(summary.published.at("/livox/imu"), 80u);
  EXPECT_EQ(summary.published.at("/points"), 4u);
  EXPECT_EQ(counts_.at("/livox/imu"), 80u);
  EXPECT_EQ(counts_.at("/points"), 4u);

  const auto out = by_topic(read_bag(dir_ / "out"));
  const auto in = by_topic(input);
  ASSERT_EQ(out.size(), 2u);
  for (const auto & [topic, messages] : in) {
    ASSERT_EQ(out.at(topic).size(), messages.size()) << topic;
    for (size_t i = 0; i < std::min(messages.size(), out.at(topic).size()); ++i) {
      EXPECT_EQ(out.at(topic)[i].data, messages[i].data) << topic << " #" << i;
    }
  }
  // Paced: the receive times span about the recording's span divided by the rate (less the
  // recorder's own delays); unpaced they would span a millisecond or two.
  const auto & imu = out.at("/livox/imu");
  const double span = static_cast<double>(imu.back().timestamp - imu.front().timestamp) * 1e-9;
  EXPECT_GE(span, 0.395 / 4.0 * 0.6);

  auto reader = sweepmend::bag::Reader::open((dir_ / "out").string());
  std::map<std::string, std::string> types;
  for (const auto & t : reader->topics()) {
    types[t.name] = t.type;
  }
  EXPECT_EQ(types, kTypes);
}

TEST_F(LiveToolsTest, ClockRunsMonotonicallyOverTheBagTimeAndPastTheEnd)
{
  write_bag(dir_ / "in", recording(), kTypes);
  auto player = std::make_shared<rclcpp::Node>("player");
  auto listener = std::make_shared<rclcpp::Node>("listener");
  std::mutex mutex;
  std::vector<int64_t> clock;
  auto sub = listener->create_subscription<rosgraph_msgs::msg::Clock>(
    "/clock", rclcpp::QoS(10000).best_effort(), [&](const rosgraph_msgs::msg::Clock::ConstSharedPtr & c) {
      std::lock_guard<std::mutex> lock(mutex);
      clock.push_back(static_cast<int64_t>(c->clock.sec) * 1'000'000'000 + c->clock.nanosec);
    });
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(listener);
  std::thread spinner([&]() {executor.spin();});

  sweepmend::live::PlayOptions play;
  play.input = (dir_ / "in").string();
  play.rate = 2.0;
  play.clock = true;
  play.clock_hz = 100.0;
  std::atomic<bool> no_stop{false};
  const auto summary = sweepmend::live::play(*player, play, no_stop);
  // The in-process transport has delivered when publish returns; let the executor drain.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    std::lock_guard<std::mutex> lock(mutex);
    if (clock.size() == summary.clock_messages) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  executor.cancel();
  spinner.join();

  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_EQ(clock.size(), summary.clock_messages);
  ASSERT_GE(clock.size(), 10u);
  EXPECT_EQ(clock.front(), kStart);
  // The last message is the IMU sample at 395 ms; the clock goes on for 100 ms.
  EXPECT_EQ(clock.back(), kStart + 495 * kMs);
  for (size_t i = 1; i < clock.size(); ++i) {
    ASSERT_GT(clock[i], clock[i - 1]) << "at " << i;
  }
}

TEST_F(LiveToolsTest, TransientLocalTopicsReachALateRecorderAndOnlySelectedTopicsPlay)
{
  tf2_msgs::msg::TFMessage tf;
  tf.transforms.resize(2);
  tf.transforms[0].child_frame_id = "lidar";
  tf.transforms[1].child_frame_id = "imu";
  sensor_msgs::msg::Imu imu;
  imu.header.frame_id = "imu";
  // The static transforms go out at once, the IMU sample a second later.
  write_bag(
    dir_ / "in", {{"/tf_static", kStart, sweepmend::cdr::serialize(tf)}},
    {{"/tf_static", "tf2_msgs/msg/TFMessage"}}, true);
  {
    auto writer = sweepmend::bag::Writer::create((dir_ / "in2").string(), "sqlite3");
    sweepmend::bag::TopicMetadata meta{"/tf_static", "tf2_msgs/msg/TFMessage", "cdr",
      sweepmend::bag::qos_profile_yaml(1, true, true)};
    writer->create_topic(meta);
    meta = {"/livox/imu", "sensor_msgs/msg/Imu", "cdr", sweepmend::bag::qos_profile_yaml(10, true,
        false)};
    writer->create_topic(meta);
    writer->write("/tf_static", kStart, sweepmend::cdr::serialize(tf));
    writer->write("/livox/imu", kStart + 1000 * kMs, sweepmend::cdr::serialize(imu));
    writer->close();
  }
  auto player = std::make_shared<rclcpp::Node>("player");
  sweepmend::live::PlayOptions play;
  play.input = (dir_ / "in2").string();
  std::atomic<bool> no_stop{false};
  sweepmend::live::PlaySummary summary;
  std::thread player_thread([&]() {summary = sweepmend::live::play(*player, play, no_stop);});
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  // The recorder joins after the static transforms went out; the publisher's history has them.
  sweepmend::live::RecordOptions rec;
  rec.output = (dir_ / "out").string();
  rec.all = true;
  start_recording(rec, 2);
  player_thread.join();
  stop_recording();
  const auto out = read_bag(dir_ / "out");
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].topic, "/tf_static");
  EXPECT_EQ(sweepmend::cdr::deserialize<tf2_msgs::msg::TFMessage>(out[0].data), tf);
  EXPECT_EQ(out[1].topic, "/livox/imu");
  EXPECT_EQ(summary.published.at("/tf_static"), 1u);

  // --topics: the IMU alone of a bag with IMU and clouds.
  write_bag(dir_ / "in3", recording(), kTypes);
  play.input = (dir_ / "in3").string();
  play.topics = {"/livox/imu"};
  play.rate = 20.0;
  const auto only_imu = sweepmend::live::play(*player, play, no_stop);
  EXPECT_EQ(only_imu.published.size(), 1u);
  EXPECT_EQ(only_imu.published.at("/livox/imu"), 80u);
  EXPECT_EQ(only_imu.skipped, 4u);
}

TEST_F(LiveToolsTest, PlayRefusesWhatItCannotDo)
{
  auto player = std::make_shared<rclcpp::Node>("player");
  sweepmend::live::PlayOptions play;
  std::atomic<bool> no_stop{false};
  play.input = (dir_ / "missing").string();
  EXPECT_THROW(sweepmend::live::play(*player, play, no_stop), sweepmend::live::LiveError);
  write_bag(dir_ / "in", recording(), kTypes);
  play.input = (dir_ / "in").string();
  play.rate = 0.0;
  EXPECT_THROW(sweepmend::live::play(*player, play, no_stop), sweepmend::live::LiveError);
  // Nobody subscribes: waiting for subscribers runs out.
  play.rate = 1.0;
  play.wait_for_subscribers = 0.2;
  EXPECT_THROW(sweepmend::live::play(*player, play, no_stop), sweepmend::live::LiveError);

  sweepmend::live::RecordOptions rec;
  rec.output = (dir_ / "in").string();
  rec.all = true;
  auto node = std::make_shared<rclcpp::Node>("recorder");
  EXPECT_THROW(sweepmend::live::Recorder(*node, rec), sweepmend::live::LiveError);  // exists
  rec.output = (dir_ / "new").string();
  rec.all = false;
  EXPECT_THROW(sweepmend::live::Recorder(*node, rec), sweepmend::live::LiveError);  // no topics
}

// The command line, as a separate process: SIGINT or SIGTERM ends the recording with a bag that
// has its metadata and opens.
class RecordSignalTest : public ::testing::TestWithParam<int>
{
};

TEST_P(RecordSignalTest, LeavesACompleteBag)
{
  const fs::path dir = sweepmend_test::fresh_test_dir("sweepmend_live_signal");
  const std::string out = (dir / "rec").string();
  // Should the tool join a DDS graph, it stays on loopback in a domain of its own.
  sweepmend_test::ChildProcess rec(
    {SWEEPMEND_BAG_EXE, "record", out, "--all"}, sweepmend_test::loopback_env(150),
    (dir / "log").string());
  // The bag's directory appears once the recorder runs.
  ASSERT_TRUE(rec.wait_until([&out]() {return fs::exists(out);}, 20.0)) << rec.log();
  EXPECT_FALSE(fs::exists(fs::path(out) / "metadata.yaml"));
  EXPECT_EQ(rec.stop(GetParam(), 30.0), 0) << rec.log();
  EXPECT_TRUE(fs::exists(fs::path(out) / "metadata.yaml"));
  EXPECT_NO_THROW(sweepmend::bag::Reader::open(out));
  EXPECT_NE(rec.log().find("sweepmend_bag record: 0 messages in"), std::string::npos) << rec.log();
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Signals, RecordSignalTest, ::testing::Values(SIGINT, SIGTERM));

}  // namespace
