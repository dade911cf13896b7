// The offline runner against recordings made here: what it records, that it equals feeding the
// node through topics, and how it fails.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cdr/cdr.hpp"
#include "child_process.hpp"
#include "node_harness.hpp"
#include "livox_ros_driver2/msg/custom_msg.hpp"
#include "rclcpp/detail/spin_control.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "runner/runner.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "storage/bag.hpp"
#include "sweepmend/point_processer.hpp"
#include "tool_test_helpers.hpp"

namespace fs = std::filesystem;
using sweepmend::bag::BagMessage;
using sweepmend_test::read_bag;
using sweepmend_test::stamp_of;

namespace
{

constexpr int64_t kStart = 100'000'000'000;  // 100 s: the recording's first receive time
constexpr int64_t kMs = 1'000'000;

// IMU samples (200 Hz, still for 0.3 s, then turning about z at 1 rad/s) and ten 10-Hz scans of
// a wall 5 m ahead, received 1 ms after their last point as a driver would deliver them.
std::vector<BagMessage> livox_recording(bool pointcloud2 = false)
{
  std::vector<BagMessage> out;
  for (int i = 0; i <= 210; ++i) {
    const int64_t t = kStart + i * 5 * kMs;
    sensor_msgs::msg::Imu imu;
    imu.header.stamp = stamp_of(t);
    imu.header.frame_id = "livox_frame";
    imu.angular_velocity.z = (t - kStart) >= 300 * kMs ? 1.0 : 0.0;
    imu.linear_acceleration.z = 1.0;
    out.push_back({"/livox/imu", t, sweepmend::cdr::serialize(imu)});
  }
  for (int s = 0; s < 10 && pointcloud2; ++s) {
    // The same wall in the Vanjee layout: float64 point time at byte 18.
    const int64_t t0 = kStart + s * 100 * kMs;
    std::vector<sweepmend_test::VanjeePoint> points;
    for (int k = 0; k < 400; ++k) {
      points.push_back(
        {5.0f, -2.0f + 0.01f * static_cast<float>(k), 0.1f * static_cast<float>(k % 7),
          static_cast<float>(k % 32), k * 250e-6});
    }
    out.push_back(
      {"/livox/lidar", t0 + 101 * kMs,
        sweepmend::cdr::serialize(
          sweepmend_test::vanjee_scan(static_cast<double>(t0) * 1e-9, points))});
  }
  for (int s = 0; s < 10 && !pointcloud2; ++s) {
    const int64_t t0 = kStart + s * 100 * kMs;
    livox_ros_driver2::msg::CustomMsg scan;
    scan.header.stamp = stamp_of(t0);
    scan.header.frame_id = "livox_frame";
    scan.timebase = static_cast<uint64_t>(t0);
    for (int k = 0; k < 400; ++k) {
      livox_ros_driver2::msg::CustomPoint p;
      p.offset_time = static_cast<uint32_t>(k * 250'000);  // 0 .. 99.75 ms
      p.x = 5.0f;
      p.y = -2.0f + 0.01f * static_cast<float>(k);
      p.z = 0.1f * static_cast<float>(k % 7);
      p.line = static_cast<uint8_t>(k % 4);
      scan.points.push_back(p);
    }
    scan.point_num = static_cast<uint32_t>(scan.points.size());
    out.push_back({"/livox/lidar", t0 + 101 * kMs, sweepmend::cdr::serialize(scan)});
  }
  std::stable_sort(
    out.begin(), out.end(), [](const BagMessage & a, const BagMessage & b) {
      return a.timestamp < b.timestamp;
    });
  return out;
}

void write_bag(
  const fs::path & dir, const std::string & storage, const std::vector<BagMessage> & messages,
  bool pointcloud2 = false)
{
  sweepmend_test::write_bag(
    dir, storage, {
      {"/livox/imu", "sensor_msgs/msg/Imu"},
      {"/livox/lidar",
        pointcloud2 ? "sensor_msgs/msg/PointCloud2" : "livox_ros_driver2/msg/CustomMsg"},
      {"/unrelated", "sensor_msgs/msg/Imu"}}, messages);
}

// What the node publishes when the same messages reach it through topics, with the clock moved
// as a player with a clock would: to every 10-ms grid point, then to each message's receive time.
std::vector<BagMessage> feed_through_topics(
  const std::vector<BagMessage> & messages, const std::vector<std::string> & ros_args)
{
  std::vector<std::string> args = {"feed", "--ros-args"};
  args.insert(args.end(), ros_args.begin(), ros_args.end());
  args.insert(args.end(), {"-p", "use_sim_time:=true", "--log-level", "fatal"});
  std::vector<const char *> argv;
  for (const auto & a : args) {
    argv.push_back(a.c_str());
  }
  rclcpp::init(static_cast<int>(argv.size()), argv.data());
  std::vector<BagMessage> published;
  {
    auto node = std::make_shared<DataSubscriber>();
    auto io = std::make_shared<rclcpp::Node>("feeder");
    auto clock = io->create_publisher<rosgraph_msgs::msg::Clock>("/clock", rclcpp::ClockQoS());
    auto imu = io->create_publisher<sensor_msgs::msg::Imu>("/livox/imu", rclcpp::QoS(10));
    const bool pointcloud2 =
      std::find(ros_args.begin(), ros_args.end(), "lidar_type:=1") != ros_args.end();
    rclcpp::Publisher<livox_ros_driver2::msg::CustomMsg>::SharedPtr livox;
    rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr cloud;
    if (pointcloud2) {
      cloud = io->create_publisher<sensor_msgs::msg::PointCloud2>("/livox/lidar", rclcpp::QoS(10));
    } else {
      livox = io->create_publisher<livox_ros_driver2::msg::CustomMsg>(
        "/livox/lidar", rclcpp::QoS(10));
    }
    std::vector<rclcpp::Subscription<sensor_msgs::msg::PointCloud2>::SharedPtr> subs;
    for (std::string topic : {"/livox/lidar_undistorted", "/livox/lidar_undistorted_raw"}) {
      subs.push_back(
        io->create_subscription<sensor_msgs::msg::PointCloud2>(
          topic, rclcpp::QoS(100),
          [&published, &io, topic](const sensor_msgs::msg::PointCloud2::ConstSharedPtr & msg) {
            published.push_back(
              {topic, io->now().nanoseconds(), sweepmend::cdr::serialize(*msg)});
          }));
    }
    rclcpp::executors::SingleThreadedExecutor exec;
    exec.add_node(node);
    exec.add_node(io);
    int64_t now = -1;
    auto tick = [&](int64_t t) {
        rosgraph_msgs::msg::Clock c;
        c.clock = stamp_of(t);
        clock->publish(c);
        now = t;
        rclcpp::detail::spin_until_idle(exec);
      };
    for (const auto & m : messages) {
      if (m.topic == "/unrelated") {
        continue;
      }
      for (int64_t t = (now / (10 * kMs) + 1) * 10 * kMs; now >= 0 && t < m.timestamp;
        t += 10 * kMs)
      {
        tick(t);
      }
      tick(m.timestamp);
      if (m.topic == "/livox/imu") {
        imu->publish(sweepmend::cdr::deserialize<sensor_msgs::msg::Imu>(m.data));
      } else if (pointcloud2) {
        cloud->publish(sweepmend::cdr::deserialize<sensor_msgs::msg::PointCloud2>(m.data));
      } else {
        livox->publish(sweepmend::cdr::deserialize<livox_ros_driver2::msg::CustomMsg>(m.data));
      }
      rclcpp::detail::spin_until_idle(exec);
    }
    for (int i = 0; i < 20; ++i) {
      tick((now / (10 * kMs) + 1) * 10 * kMs);
    }
  }
  rclcpp::shutdown();
  return published;
}

class RunnerTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    dir_ = sweepmend_test::fresh_test_dir("sweepmend_runner_test");
  }
  void TearDown() override {fs::remove_all(dir_);}

  sweepmend::runner::Options options(const std::string & in, const std::string & out)
  {
    sweepmend::runner::Options o;
    o.input = (dir_ / in).string();
    o.output = (dir_ / out).string();
    o.ros_args = {"-p", "extrinsic_T:=[0.0, 0.0, 0.0]",
      "-p", "extrinsic_R:=[1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0]",
      "--log-level", "fatal"};
    return o;
  }

  // Only the hidden staging folder or the output could be left behind by a run.
  bool only_inputs_left(const std::vector<std::string> & inputs) const
  {
    for (const auto & e : fs::directory_iterator(dir_)) {
      const auto name = e.path().filename().string();
      if (std::find(inputs.begin(), inputs.end(), name) == inputs.end()) {
        ADD_FAILURE() << "left behind: " << name;
        return false;
      }
    }
    return true;
  }

  fs::path dir_;
};

TEST_F(RunnerTest, RecordsBothOutputsOnTheTickAfterEachScanEnds)
{
  const auto recording = livox_recording();
  write_bag(dir_ / "in", "mcap", recording);
  const auto s = sweepmend::runner::run(options("in", "out"));

  EXPECT_EQ(s.messages_read, recording.size());
  EXPECT_EQ(s.scans_in, 10u);
  EXPECT_EQ(s.decode_errors, 0u);
  EXPECT_EQ(s.scans_grouped, 10u);
  EXPECT_EQ(s.published.at("/livox/lidar_undistorted_raw"), 10u);
  // The first scan only initialises the IMU processor.
  EXPECT_EQ(s.published.at("/livox/lidar_undistorted"), 9u);

  auto reader = sweepmend::bag::Reader::open((dir_ / "out").string());
  EXPECT_EQ(reader->storage_id(), "mcap");
  const auto out = read_bag(dir_ / "out");
  ASSERT_EQ(out.size(), 19u);
  for (const auto & m : out) {
    const auto cloud = sweepmend::cdr::deserialize<sensor_msgs::msg::PointCloud2>(m.data);
    const int64_t stamp = int64_t{cloud.header.stamp.sec} * 1'000'000'000 + cloud.header.stamp.nanosec;
    // Published by a processing cycle: on the 10 ms grid, after the scan's end time, and before
    // the next scan could be taken.
    EXPECT_EQ(m.timestamp % (10 * kMs), 0) << m.timestamp;
    EXPECT_GE(m.timestamp, stamp);
    EXPECT_LT(m.timestamp - stamp, 20 * kMs);
    EXPECT_EQ(cloud.header.frame_id, "livox_frame");
    EXPECT_EQ(cloud.point_step, 48u);
  }
}

// Both scan formats: the runner's output equals what the node publishes when fed through topics.
void expect_runner_equals_topics(const fs::path & dir, sweepmend::runner::Options o, bool pointcloud2)
{
  const auto recording = livox_recording(pointcloud2);
  write_bag(dir / "in", "sqlite3", recording, pointcloud2);
  if (pointcloud2) {
    o.ros_args.insert(o.ros_args.end(), {"-p", "lidar_type:=1"});
  }
  sweepmend::runner::run(o);
  const auto via_runner = read_bag(dir / "out");
  const auto via_topics = feed_through_topics(recording, o.ros_args);

  ASSERT_EQ(via_runner.size(), 19u);
  ASSERT_EQ(via_runner.size(), via_topics.size());
  // Same messages, same clock at publish; the order within one cycle is the node's own.
  std::multimap<int64_t, std::pair<std::string, std::vector<uint8_t>>> expected;
  for (const auto & m : via_topics) {
    expected.emplace(m.timestamp, std::make_pair(m.topic, m.data));
  }
  for (const auto & m : via_runner) {
    auto range = expected.equal_range(m.timestamp);
    bool found = false;
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second.first == m.topic && it->second.second == m.data) {
        expected.erase(it);
        found = true;
        break;
      }
    }
    EXPECT_TRUE(found) << m.topic << " at " << m.timestamp;
  }
}

TEST_F(RunnerTest, EqualsFeedingTheNodeThroughTopics)
{
  expect_runner_equals_topics(dir_, options("in", "out"), false);
}

TEST_F(RunnerTest, EqualsFeedingTheNodeThroughTopicsWithPointCloud2Scans)
{
  expect_runner_equals_topics(dir_, options("in", "out"), true);
}

TEST_F(RunnerTest, WritesTheRequestedStorage)
{
  write_bag(dir_ / "in", "sqlite3", livox_recording());
  auto o = options("in", "out");
  sweepmend::runner::run(o);
  EXPECT_EQ(sweepmend::bag::Reader::open((dir_ / "out").string())->storage_id(), "sqlite3");
  EXPECT_TRUE(fs::exists(dir_ / "out" / "metadata.yaml"));

  o.output = (dir_ / "out2").string();
  o.storage = "mcap";
  sweepmend::runner::run(o);
  EXPECT_EQ(sweepmend::bag::Reader::open((dir_ / "out2").string())->storage_id(), "mcap");
  EXPECT_EQ(read_bag(dir_ / "out").size(), read_bag(dir_ / "out2").size());
}

TEST_F(RunnerTest, SkipsGarbageMessagesAndTopicsNobodyReads)
{
  auto recording = livox_recording();
  // One IMU sample replaced by bytes that are no CDR, and a topic the node does not read.
  for (auto & m : recording) {
    if (m.topic == "/livox/imu" && m.timestamp == kStart + 500 * kMs) {
      m.data = {0x00, 0x01, 0x00, 0x00, 0xde, 0xad};
    }
  }
  recording.push_back({"/unrelated", kStart + 1, recording.front().data});
  std::stable_sort(
    recording.begin(), recording.end(), [](const BagMessage & a, const BagMessage & b) {
      return a.timestamp < b.timestamp;
    });
  write_bag(dir_ / "in", "mcap", recording);
  std::vector<std::string> warnings;
  const auto s = sweepmend::runner::run(
    options("in", "out"), nullptr, [&](const std::string & w) {warnings.push_back(w);});
  EXPECT_EQ(s.decode_errors, 1u);
  EXPECT_EQ(s.messages_skipped, 1u);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("/livox/imu"), std::string::npos) << warnings[0];
  EXPECT_EQ(s.published.at("/livox/lidar_undistorted_raw"), 10u);
}

TEST_F(RunnerTest, RefusesBadInputsAndLeavesNothingBehind)
{
  using sweepmend::runner::RunError;
  EXPECT_THROW(sweepmend::runner::run(options("missing", "out")), RunError);
  EXPECT_TRUE(only_inputs_left({}));

  write_bag(dir_ / "in", "mcap", livox_recording());
  auto o = options("in", "out");
  o.storage = "zip";
  EXPECT_THROW(sweepmend::runner::run(o), RunError);

  // A truncated data file.
  fs::path mcap;
  for (const auto & e : fs::directory_iterator(dir_ / "in")) {
    if (e.path().extension() == ".mcap") {
      mcap = e.path();
    }
  }
  ASSERT_FALSE(mcap.empty());
  fs::copy_file(mcap, dir_ / "cut.mcap");
  fs::resize_file(dir_ / "cut.mcap", fs::file_size(mcap) / 2);
  EXPECT_THROW(sweepmend::runner::run(options("cut.mcap", "out")), RunError);
  EXPECT_TRUE(only_inputs_left({"in", "cut.mcap"}));

  // An existing output is kept unless --overwrite.
  fs::create_directories(dir_ / "out");
  std::ofstream(dir_ / "out" / "keep") << "x";
  EXPECT_THROW(sweepmend::runner::run(options("in", "out")), RunError);
  EXPECT_TRUE(fs::exists(dir_ / "out" / "keep"));
  o = options("in", "out");
  o.overwrite = true;
  sweepmend::runner::run(o);
  EXPECT_FALSE(fs::exists(dir_ / "out" / "keep"));
  EXPECT_TRUE(fs::exists(dir_ / "out" / "metadata.yaml"));
}

TEST_F(RunnerTest, CommandLineReportsErrorsWithStatus)
{
  auto status_of = [&](std::vector<std::string> args) {
      args.insert(args.begin(), SWEEPMEND_BAG_EXE);
      sweepmend_test::ChildProcess bag(args, {}, (dir_ / "bag.log").string());
      return bag.wait();
    };
  EXPECT_EQ(status_of({"--help"}), 0);
  EXPECT_EQ(status_of({}), 2);
  EXPECT_EQ(status_of({(dir_ / "nothing").string(), (dir_ / "out").string()}), 1);
  EXPECT_EQ(status_of({"a", "b", "--storage", "zip"}), 2);
  EXPECT_FALSE(fs::exists(dir_ / "out"));
}

}  // namespace
