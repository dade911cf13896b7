// Grouping and the processing cycle: which scan leaves with which IMU samples, what is
// published, how it is stamped, framed and transformed, and what is logged.
#include <algorithm>
#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include "node_harness.hpp"

namespace
{

using sweepmend_test::NodeHarness;
using sweepmend_test::OutputPoint;
using sweepmend_test::VanjeePoint;
using sweepmend_test::imu_sample;
using sweepmend_test::livox_point;
using sweepmend_test::livox_scan;
using sweepmend_test::read_points;
using sweepmend_test::seconds_of;
using sweepmend_test::stamp_at;
using sweepmend_test::vanjee_scan;

/// A Livox scan of `count` points (after the unused point 0) whose last point lies
/// `last_offset_ms` after the stamp; the others are spread evenly before it.
livox_ros_driver2::msg::CustomMsg scan_of(
  double stamp, int count, double last_offset_ms, const std::string & frame = "livox_frame")
{
  std::vector<livox_ros_driver2::msg::CustomPoint> points = {livox_point(0, 0, 0)};
  for (int i = 1; i <= count; ++i) {
    const auto offset = static_cast<uint32_t>(std::llround(last_offset_ms * 1e6 * i / count));
    points.push_back(livox_point(2.0f + 0.25f * i, -1.0f + 0.125f * i, 0.5f, offset, 0x00));
  }
  return livox_scan(stamp, points, frame);
}

/// IMU samples at rest (200 Hz) from `from` to `to` seconds inclusive.
void publish_rest(NodeHarness & h, double from, double to)
{
  for (double t = from; t <= to + 1e-9; t += 0.005) {
    h.publish(imu_sample(t));
  }
}

std::vector<double> stamps_of(const std::deque<sensor_msgs::msg::Imu::ConstSharedPtr> & samples)
{
  std::vector<double> s;
  for (const auto & m : samples) {
    s.push_back(seconds_of(m->header.stamp));
  }
  return s;
}

// ---- grouping -----------------------------------------------------------------------------

TEST(Grouping, NothingHappensWithoutBothAScanAndASample)
{
  NodeHarness h;
  SyncedMeasurement meas;
  EXPECT_FALSE(h.access().take_measurement(meas));
  h.publish(scan_of(1.0, 10, 100.0));
  EXPECT_FALSE(h.access().take_measurement(meas));
  EXPECT_EQ(1u, h.access().lidar_buffer().size());
  EXPECT_EQ(0u, h.access().scan_count());
  EXPECT_EQ(0.0, h.access().mean_scan_duration());
}

TEST(Grouping, SamplesUpToTheEndTimeGoWithTheScan)
{
  NodeHarness h;
  for (double t : {0.90, 0.95, 1.00, 1.00, 1.05}) {
    h.publish(imu_sample(t));
  }
  h.publish(scan_of(0.9, 10, 100.0));
  SyncedMeasurement meas;
  ASSERT_TRUE(h.access().take_measurement(meas));
  EXPECT_EQ(0.9, meas.lidar_beg_time);
  EXPECT_EQ(1.0, meas.lidar_end_time);
  ASSERT_TRUE(meas.scan);
  EXPECT_EQ(10u, meas.scan->size());
  EXPECT_EQ(std::vector<double>({0.90, 0.95, 1.00}), stamps_of(meas.imu_samples));
  EXPECT_EQ(std::vector<double>({1.00, 1.05}), stamps_of(h.access().imu_buffer()));
  EXPECT_TRUE(h.access().lidar_buffer().empty());
  EXPECT_TRUE(h.access().time_buffer().empty());
  EXPECT_FALSE(h.access().scan_taken());
  // The queue has let the scan go: the measurement holds it, and the node's pool of scan clouds,
  // which reuses the storage once the measurement is done with it.
  EXPECT_EQ(2, meas.scan.use_count());
}

TEST(Grouping, ASampleExactlyAtTheEndTimeDoesNotOpenAScan)
{
  NodeHarness h;
  h.publish(imu_sample(1.00));
  h.publish(imu_sample(1.05));
  h.publish(scan_of(0.9, 10, 100.0));
  SyncedMeasurement meas;
  ASSERT_TRUE(h.access().take_measurement(meas));
  EXPECT_TRUE(meas.imu_samples.empty());
  EXPECT_TRUE(h.access().lidar_buffer().empty());
  EXPECT_EQ(std::vector<double>({1.00, 1.05}), stamps_of(h.access().imu_buffer()));
}

TEST(Grouping, SamplesOlderThanTheScanGoAlong)
{
  NodeHarness h;
  for (double t : {0.2, 0.5, 0.95, 1.2}) {
    h.publish(imu_sample(t));
  }
  h.publish(scan_of(0.9, 10, 100.0));
  SyncedMeasurement meas;
  ASSERT_TRUE(h.access().take_measurement(meas));
  EXPECT_EQ(std::vector<double>({0.2, 0.5, 0.95}), stamps_of(meas.imu_samples));
  EXPECT_EQ(std::vector<double>({1.2}), stamps_of(h.access().imu_buffer()));
}

TEST(Grouping, ScanWaitsUntilTheImuReachesItsEnd)
{
  NodeHarness h;
  h.publish(imu_sample(0.95));
  h.publish(imu_sample(0.999));
  h.publish(scan_of(0.9, 10, 100.0));
  SyncedMeasurement meas;
  EXPECT_FALSE(h.access().take_measurement(meas));
  EXPECT_FALSE(h.access().take_measurement(meas));
  EXPECT_FALSE(h.access().scan_taken());
  EXPECT_EQ(1u, h.access().lidar_buffer().size());
  EXPECT_EQ(2u, h.access().imu_buffer().size());
  // Each look at the waiting scan counts its duration again.
  EXPECT_EQ(2u, h.access().scan_count());
  EXPECT_DOUBLE_EQ(0.1, h.access().mean_scan_duration());

  h.publish(imu_sample(1.0));
  SyncedMeasurement ready;
  ASSERT_TRUE(h.access().take_measurement(ready));
  EXPECT_EQ(3u, h.access().scan_count());
  EXPECT_EQ(std::vector<double>({0.95, 0.999, 1.0}), stamps_of(ready.imu_samples));
}

TEST(Grouping, RunningMeanOfScanDurations)
{
  NodeHarness h;
  h.publish(imu_sample(100.0));
  SyncedMeasurement meas;

  // First scan: the mean becomes its duration.
  h.publish(scan_of(10.0, 10, 100.0));
  ASSERT_TRUE(h.access().take_measurement(meas));
  EXPECT_EQ(1u, h.access().scan_count());
  EXPECT_DOUBLE_EQ(0.1, h.access().mean_scan_duration());

  // 100 ms against a mean of 0.1 s: counted, the mean stays.
  h.publish(scan_of(11.0, 10, 100.0));
  ASSERT_TRUE(h.access().take_measurement(meas));
  EXPECT_EQ(2u, h.access().scan_count());
  EXPECT_DOUBLE_EQ(0.1, h.access().mean_scan_duration());
  EXPECT_DOUBLE_EQ(11.1, meas.lidar_end_time);

  // 40 ms is less than half the mean: the scan gets the mean as its length, nothing counted.
  h.publish(scan_of(12.0, 10, 40.0));
  ASSERT_TRUE(h.access().take_measurement(meas));
  EXPECT_EQ(2u, h.access().scan_count());
  EXPECT_DOUBLE_EQ(0.1, h.access().mean_scan_duration());
  EXPECT_DOUBLE_EQ(12.1, meas.lidar_end_time);

  // Exactly half the mean is counted: the mean of 0.1, 0.1 and 0.05.
  h.publish(scan_of(13.0, 10, 50.0));
  ASSERT_TRUE(h.access().take_measurement(meas));
  EXPECT_EQ(3u, h.access().scan_count());
  EXPECT_NEAR(0.25 / 3.0, h.access().mean_scan_duration(), 1e-15);
  EXPECT_DOUBLE_EQ(13.05, meas.lidar_end_time);
}

TEST(Grouping, DurationComesFromTheLastStoredPoint)
{
  NodeHarness h;
  h.publish(imu_sample(100.0));
  auto msg = scan_of(10.0, 10, 100.0);
  // A later point earlier in the message does not count.
  msg.points[3].offset_time = 150000000;
  h.publish(msg);
  SyncedMeasurement meas;
  ASSERT_TRUE(h.access().take_measurement(meas));
  EXPECT_DOUBLE_EQ(10.1, meas.lidar_end_time);
}

TEST(Grouping, ScansOfFivePointsOrFewerTakeTheMeanDuration)
{
  NodeHarness h;
  h.publish(imu_sample(100.0));
  SyncedMeasurement meas;

  // While the mean is still zero the end time is the start.
  h.publish(scan_of(5.0, 5, 30.0));
  ASSERT_TRUE(h.access().take_measurement(meas));
  EXPECT_EQ(5.0, meas.lidar_end_time);
  EXPECT_EQ(0u, h.access().scan_count());
  const auto warnings = h.glog().starting_with("Too few input point cloud!");
  ASSERT_EQ(1u, warnings.size());
  EXPECT_EQ(google::GLOG_WARNING, warnings[0].severity);

  // Six points: the duration comes from the last one.
  h.publish(scan_of(6.0, 6, 80.0));
  ASSERT_TRUE(h.access().take_measurement(meas));
  EXPECT_DOUBLE_EQ(6.08, meas.lidar_end_time);
  EXPECT_EQ(1u, h.access().scan_count());

  h.publish(scan_of(7.0, 5, 30.0));
  ASSERT_TRUE(h.access().take_measurement(meas));
  EXPECT_DOUBLE_EQ(7.08, meas.lidar_end_time);
  EXPECT_EQ(2u, h.glog().count("Too few input point cloud!"));
}

TEST(Grouping, AScanWithoutAFiniteDurationTakesTheMeanAndKeepsItClean)
{
  // One bad point time must not poison the running mean: a NaN mean would make every later end
  // time NaN and nothing would be undistorted again.
  NodeHarness h({"-p", "lidar_type:=1"});
  h.publish(imu_sample(100.0));
  SyncedMeasurement meas;
  std::vector<VanjeePoint> points;
  for (int i = 1; i <= 6; ++i) {
    points.push_back({1.0f * i, 2.0f, 0.0f, 5.0f, 0.1 * i / 6});
  }
  h.publish(vanjee_scan(1.0, points, 32, 1, "sensor_frame"));
  ASSERT_TRUE(h.access().take_measurement(meas));
  EXPECT_DOUBLE_EQ(0.1, h.access().mean_scan_duration());

  for (double bad : {std::nan(""), HUGE_VAL}) {
    points.back().time = bad;
    h.publish(vanjee_scan(2.0, points, 32, 1, "sensor_frame"));
    ASSERT_TRUE(h.access().take_measurement(meas));
    EXPECT_DOUBLE_EQ(2.1, meas.lidar_end_time);
    EXPECT_EQ(1u, h.access().scan_count());
    EXPECT_DOUBLE_EQ(0.1, h.access().mean_scan_duration());
  }
}

// ---- the cycle ----------------------------------------------------------------------------

TEST(Cycle, EmptyQueuesPublishAndLogNothing)
{
  NodeHarness h;
  h.glog().clear();
  h.advance(5);
  h.publish(imu_sample(1.0));
  h.advance(5);
  EXPECT_TRUE(h.raw().empty());
  EXPECT_TRUE(h.undistorted().empty());
  EXPECT_TRUE(h.glog().records().empty());
}

TEST(Cycle, FirstScanInitialisesAndOnlyTheRawCloudIsPublished)
{
  NodeHarness h;
  publish_rest(h, 0.95, 1.125);
  h.publish(scan_of(1.0, 10, 125.0));
  h.glog().clear();
  h.advance();
  EXPECT_EQ(1u, h.raw().size());
  EXPECT_TRUE(h.undistorted().empty());
  EXPECT_EQ(0u, h.glog().count("undistorted point size"));
  const auto timing = h.glog().starting_with("Undistorted time: ");
  ASSERT_EQ(1u, timing.size());
  EXPECT_EQ(google::GLOG_INFO, timing[0].severity);
  const std::regex format(
    R"(Undistorted time: [0-9.e+-]+ ms ,Publish time: [0-9.e+-]+ ms)");
  EXPECT_TRUE(std::regex_match(timing[0].text, format)) << timing[0].text;

  // The next scan is compensated: both clouds, and the size line.
  publish_rest(h, 1.13, 1.25);
  h.publish(scan_of(1.125, 10, 125.0));
  h.advance();
  EXPECT_EQ(2u, h.raw().size());
  ASSERT_EQ(1u, h.undistorted().size());
  const auto size = h.glog().starting_with("undistorted point size: ");
  ASSERT_EQ(1u, size.size());
  EXPECT_EQ("undistorted point size: 10", size[0].text);
  EXPECT_EQ(google::GLOG_WARNING, size[0].severity);
  EXPECT_EQ(2u, h.glog().count("Undistorted time: "));
}

TEST(Cycle, ScanWithoutSamplesGivesOnlyTheRawCloud)
{
  NodeHarness h;
  publish_rest(h, 0.95, 1.125);
  h.publish(scan_of(1.0, 10, 125.0));
  h.advance();
  // Only samples at and after the next scan's end: it leaves without any.
  h.publish(imu_sample(1.25));
  h.publish(imu_sample(1.3));
  h.publish(scan_of(1.125, 10, 125.0));
  h.advance();
  EXPECT_EQ(2u, h.raw().size());
  EXPECT_TRUE(h.undistorted().empty());
  EXPECT_TRUE(h.access().lidar_buffer().empty());
  EXPECT_EQ(2u, h.access().imu_buffer().size());
}

TEST(Cycle, EmptyScanIsPublishedRawWithNoPoints)
{
  NodeHarness h;
  publish_rest(h, 0.95, 1.1);
  h.publish(livox_scan(1.0, {}));
  h.advance();
  ASSERT_EQ(1u, h.raw().size());
  EXPECT_EQ(0u, h.raw()[0].width);
  EXPECT_TRUE(h.raw()[0].data.empty());
  EXPECT_EQ(1u, h.glog().count("Too few input point cloud!"));
}

TEST(Cycle, BothCloudsCarryTheEndTimeAsStamp)
{
  NodeHarness h;
  publish_rest(h, 12.2, 12.6);
  // 12.25 s + 125 ms, then 12.375 s + 125 ms: end times exact in binary.
  h.publish(scan_of(12.25, 10, 125.0));
  h.advance();
  h.publish(scan_of(12.375, 10, 125.0));
  h.advance();
  ASSERT_EQ(2u, h.raw().size());
  ASSERT_EQ(1u, h.undistorted().size());
  EXPECT_EQ(12, h.raw()[0].header.stamp.sec);
  EXPECT_EQ(375000000u, h.raw()[0].header.stamp.nanosec);
  for (const auto * msg : {&h.raw()[1], &h.undistorted()[0]}) {
    EXPECT_EQ(12, msg->header.stamp.sec);
    EXPECT_EQ(500000000u, msg->header.stamp.nanosec);
  }
}

TEST(Cycle, StampTruncatesFractionalNanoseconds)
{
  NodeHarness h({"-p", "lidar_type:=1"});
  h.publish(imu_sample(1.1));
  // The last point is 1.5e-9 s after the stamp of 1 s: float(1.5e-6 ms) is 1.50000005e-6 ms,
  // so the end time is 1000000001.50000005 ns, which truncates to 1 ns (rounding would give 2).
  std::vector<VanjeePoint> points;
  for (int i = 0; i < 6; ++i) {
    points.push_back({1.0f + i, 0, 0, 0, i == 5 ? 1.5e-9 : 0.0});
  }
  h.publish(vanjee_scan(1.0, points));
  h.advance();
  ASSERT_EQ(1u, h.raw().size());
  EXPECT_EQ(1, h.raw()[0].header.stamp.sec);
  EXPECT_EQ(1u, h.raw()[0].header.stamp.nanosec);
}

TEST(Cycle, MessagesHaveThePointXYZINormalLayout)
{
  NodeHarness h;
  publish_rest(h, 0.95, 1.25);
  h.publish(scan_of(1.0, 7, 125.0));
  h.advance();
  h.publish(scan_of(1.125, 7, 125.0));
  h.advance();
  ASSERT_EQ(1u, h.undistorted().size());
  for (const auto * msg : {&h.raw()[1], &h.undistorted()[0]}) {
    const std::vector<std::pair<std::string, uint32_t>> fields = {
      {"x", 0}, {"y", 4}, {"z", 8}, {"intensity", 32}, {"normal_x", 16}, {"normal_y", 20},
      {"normal_z", 24}, {"curvature", 36}};
    ASSERT_EQ(fields.size(), msg->fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
      EXPECT_EQ(fields[i].first, msg->fields[i].name);
      EXPECT_EQ(fields[i].second, msg->fields[i].offset);
      EXPECT_EQ(sensor_msgs::msg::PointField::FLOAT32, msg->fields[i].datatype);
      EXPECT_EQ(1u, msg->fields[i].count);
    }
    EXPECT_EQ(1u, msg->height);
    EXPECT_EQ(7u, msg->width);
    EXPECT_EQ(48u, msg->point_step);
    EXPECT_EQ(48u * 7u, msg->row_step);
    EXPECT_EQ(48u * 7u, msg->data.size());
    EXPECT_FALSE(msg->is_bigendian);
    EXPECT_TRUE(msg->is_dense);
  }
}

TEST(Cycle, ExtrinsicTransformMovesBothClouds)
{
  NodeHarness h({"-p", "extrinsic_T:=[1.0, 0.0, 0.0]"});
  publish_rest(h, 0.95, 1.25);
  h.publish(scan_of(1.0, 8, 125.0));
  h.advance();
  // Points out of time order: the undistorted cloud comes back sorted by time.
  auto msg = scan_of(1.125, 8, 125.0);
  std::swap(msg.points[2], msg.points[6]);
  h.publish(msg);
  h.advance();
  ASSERT_EQ(2u, h.raw().size());
  ASSERT_EQ(1u, h.undistorted().size());

  const auto raw = read_points(h.raw()[1]);
  ASSERT_EQ(8u, raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const auto & in = msg.points[i + 1];
    EXPECT_FLOAT_EQ(in.x + 1.0f, raw[i].x);
    EXPECT_EQ(in.y, raw[i].y);
    EXPECT_EQ(in.z, raw[i].z);
    EXPECT_EQ(static_cast<float>(in.tag), raw[i].intensity);
    EXPECT_EQ(static_cast<float>(in.offset_time) / 1e6f, raw[i].curvature);
    EXPECT_EQ(0.0f, raw[i].normal_x);
    EXPECT_EQ(0.0f, raw[i].normal_y);
    EXPECT_EQ(0.0f, raw[i].normal_z);
  }

  // At rest the IMU processor leaves every point where it was, sorted by time; the transform
  // then adds the translation.
  std::vector<livox_ros_driver2::msg::CustomPoint> sorted(msg.points.begin() + 1, msg.points.end());
  std::sort(
    sorted.begin(), sorted.end(), [](const auto & a, const auto & b) {
      return a.offset_time < b.offset_time;
    });
  const auto undistorted = read_points(h.undistorted()[0]);
  ASSERT_EQ(8u, undistorted.size());
  for (size_t i = 0; i < undistorted.size(); ++i) {
    EXPECT_NEAR(sorted[i].x + 1.0, undistorted[i].x, 1e-5);
    EXPECT_NEAR(sorted[i].y, undistorted[i].y, 1e-5);
    EXPECT_NEAR(sorted[i].z, undistorted[i].z, 1e-5);
    EXPECT_EQ(static_cast<float>(sorted[i].offset_time) / 1e6f, undistorted[i].curvature);
    EXPECT_EQ(0.0f, undistorted[i].intensity);
    EXPECT_EQ(0.0f, undistorted[i].normal_x);
  }
}

TEST(Cycle, ExtrinsicRotationAndTranslation)
{
  // R turns x into y (a quarter turn about z), T = (1, 2, 3): (x, y, z) -> (1 - y, 2 + x, 3 + z).
  NodeHarness h({"-p", "extrinsic_R:=[0.0, -1.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0]",
      "-p", "extrinsic_T:=[1.0, 2.0, 3.0]"});
  publish_rest(h, 0.95, 1.1);
  const auto msg = scan_of(1.0, 6, 100.0);
  h.publish(msg);
  h.advance();
  ASSERT_EQ(1u, h.raw().size());
  const auto raw = read_points(h.raw()[0]);
  ASSERT_EQ(6u, raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const auto & in = msg.points[i + 1];
    EXPECT_FLOAT_EQ(1.0f - in.y, raw[i].x);
    EXPECT_FLOAT_EQ(2.0f + in.x, raw[i].y);
    EXPECT_FLOAT_EQ(3.0f + in.z, raw[i].z);
  }
}

TEST(Cycle, LivoxScansNameTheOutputFrame)
{
  NodeHarness h({"-p", "frame_id:=from_parameter"});
  publish_rest(h, 0.95, 1.3);
  h.publish(scan_of(1.0, 6, 100.0, "first_frame"));
  h.advance();
  h.publish(scan_of(1.1, 6, 100.0, "second_frame"));
  h.advance();
  ASSERT_EQ(2u, h.raw().size());
  ASSERT_EQ(1u, h.undistorted().size());
  EXPECT_EQ("first_frame", h.raw()[0].header.frame_id);
  EXPECT_EQ("second_frame", h.raw()[1].header.frame_id);
  EXPECT_EQ("second_frame", h.undistorted()[0].header.frame_id);
}

TEST(Cycle, PointCloud2ScansKeepTheFrameParameter)
{
  NodeHarness h({"-p", "lidar_type:=1", "-p", "frame_id:=from_parameter"});
  publish_rest(h, 0.95, 1.3);
  std::vector<VanjeePoint> points;
  for (int i = 1; i <= 6; ++i) {
    points.push_back({1.0f * i, 2.0f, 0.0f, 5.0f, 0.1 * i / 6});
  }
  h.publish(vanjee_scan(1.0, points, 32, 1, "sensor_frame"));
  h.advance();
  h.publish(vanjee_scan(1.1, points, 32, 1, "sensor_frame"));
  h.advance();
  ASSERT_EQ(2u, h.raw().size());
  ASSERT_EQ(1u, h.undistorted().size());
  EXPECT_EQ("from_parameter", h.raw()[1].header.frame_id);
  EXPECT_EQ("from_parameter", h.undistorted()[0].header.frame_id);
}

TEST(Cycle, BacklogDrainsOneScanPerCycle)
{
  NodeHarness h;
  publish_rest(h, 0.95, 1.5);
  for (int k = 0; k < 4; ++k) {
    h.publish(scan_of(1.0 + 0.1 * k, 6, 100.0));
  }
  for (size_t k = 1; k <= 4; ++k) {
    h.advance();
    EXPECT_EQ(k, h.raw().size());
    EXPECT_EQ(4 - k, h.access().lidar_buffer().size());
  }
}

// ---- a recorded sequence: a wall seen while the sensor turns --------------------------------

Eigen::Matrix3d rot_z(double angle)
{
  return Eigen::AngleAxisd(angle, Eigen::Vector3d::UnitZ()).toRotationMatrix();
}

TEST(CycleEndToEnd, TurningSensorSeesAStraightWallAfterUndistortion)
{
  // The IMU turns about its z axis at a constant rate, at the world origin; the LiDAR sits at an
  // offset and turned against it: IMU-frame point = R * LiDAR-frame point + T. The wall is the
  // plane x = 4 m of the world.
  const double rate = 1.5;  // rad/s
  const double start = 100.0;
  const Eigen::Matrix3d R = rot_z(M_PI / 6);
  const Eigen::Vector3d T(0.3, -0.2, 0.1);
  const double wall_x = 4.0;
  const int scans = 5;
  const int points = 400;

  NodeHarness h({"-p", "extrinsic_R:=[" + std::to_string(R(0, 0)) + ", " +
      std::to_string(R(0, 1)) + ", 0.0, " + std::to_string(R(1, 0)) + ", " +
      std::to_string(R(1, 1)) + ", 0.0, 0.0, 0.0, 1.0]",
      "-p", "extrinsic_T:=[0.3, -0.2, 0.1]"});
  // The matrix the node was given (the text has six decimals).
  const Eigen::Matrix3d given = h.access().extrinsic_transform().block<3, 3>(0, 0);
  const auto attitude = [&](double t) {return rot_z(rate * (t - start));};

  // World points of scan k, and the IMU samples of each scan (up to its end) before it.
  std::vector<std::vector<Eigen::Vector3d>> world(scans);
  double next_imu = start - 0.05;
  for (int k = 0; k < scans; ++k) {
    const double beg = start + 0.1 * k;
    for (; next_imu <= beg + 0.1 + 1e-9; next_imu += 0.005) {
      h.publish(imu_sample(next_imu, 0.0, 0.0, rate, 0.0, 0.0, 9.81));
    }
    std::vector<livox_ros_driver2::msg::CustomPoint> msg_points = {livox_point(0, 0, 0)};
    for (int i = 1; i <= points; ++i) {
      const uint32_t offset_ns = static_cast<uint32_t>(i) * 250000;  // last one at 100 ms
      const double t = beg + offset_ns * 1e-9;
      const Eigen::Vector3d w(wall_x, -1.5 + 3.0 * i / points, -0.5 + 0.1 * (i % 10));
      world[k].push_back(w);
      const Eigen::Vector3d in_imu = attitude(t).transpose() * w;
      const Eigen::Vector3d in_lidar = given.transpose() * (in_imu - T);
      msg_points.push_back(
        livox_point(
          static_cast<float>(in_lidar.x()), static_cast<float>(in_lidar.y()),
          static_cast<float>(in_lidar.z()), offset_ns));
    }
    h.publish(livox_scan(beg, msg_points));
    h.advance();
  }
  ASSERT_EQ(static_cast<size_t>(scans), h.raw().size());
  ASSERT_EQ(static_cast<size_t>(scans - 1), h.undistorted().size());

  for (int k = 1; k < scans; ++k) {
    const double end = start + 0.1 * k + 0.1;
    // Where the wall points are in the IMU frame at the scan's end: the published frame.
    const Eigen::Matrix3d at_end = attitude(end);
    const Eigen::Vector3d normal = at_end.transpose() * Eigen::Vector3d::UnitX();

    const auto undistorted = read_points(h.undistorted()[k - 1]);
    ASSERT_EQ(static_cast<size_t>(points), undistorted.size());
    double worst_plane = 0.0;
    double worst_position = 0.0;
    for (const auto & p : undistorted) {
      const Eigen::Vector3d q(p.x, p.y, p.z);
      worst_plane = std::max(worst_plane, std::abs(normal.dot(q) - wall_x));
      const int i = static_cast<int>(std::lround(p.curvature * 4.0));  // 0.25 ms per point
      ASSERT_GE(i, 1);
      ASSERT_LE(i, points);
      const Eigen::Vector3d expected = at_end.transpose() * world[k][i - 1];
      worst_position = std::max(worst_position, (q - expected).norm());
    }
    EXPECT_LT(worst_plane, 2e-3) << "scan " << k;
    EXPECT_LT(worst_position, 2e-3) << "scan " << k;

    // The raw cloud, in the IMU frame of each point's own time, is bent away from the wall.
    double worst_raw = 0.0;
    for (const auto & p : read_points(h.raw()[k])) {
      worst_raw = std::max(worst_raw, std::abs(normal.dot(Eigen::Vector3d(p.x, p.y, p.z)) - wall_x));
    }
    EXPECT_GT(worst_raw, 0.1) << "scan " << k;
  }
}

// ---- where the records are written --------------------------------------------------------

TEST(SourceLines, RecordsCarryTheirLinesInPointProcesser)
{
  const auto line_of = [](const sweepmend_test::GlogCapture & glog, const std::string & prefix) {
      const auto found = glog.starting_with(prefix);
      EXPECT_EQ(1u, found.size()) << prefix;
      EXPECT_EQ("point_processer.cpp", found.empty() ? "" : found[0].file) << prefix;
      return found.empty() ? -1 : found[0].line;
    };
  {
    NodeHarness h;
    EXPECT_EQ(51, line_of(h.glog(), "frame_id: "));
    EXPECT_EQ(73, line_of(h.glog(), "lidar type: livox mid360"));
    const auto t = h.ros_log().starting_with("Parameter extrinT_ not found");
    const auto r = h.ros_log().starting_with("Parameter extrinR_ not found");
    ASSERT_EQ(1u, t.size());
    ASSERT_EQ(1u, r.size());
    EXPECT_EQ(38u, t[0].line);
    EXPECT_EQ(41u, r[0].line);
    const std::string suffix = "point_processer.cpp";
    EXPECT_TRUE(t[0].file.size() >= suffix.size() &&
      t[0].file.compare(t[0].file.size() - suffix.size(), suffix.size(), suffix) == 0)
      << t[0].file;

    publish_rest(h, 0.95, 1.2);
    h.publish(scan_of(1.0, 3, 100.0));
    h.advance();
    EXPECT_EQ(219, line_of(h.glog(), "Too few input point cloud!"));
    h.publish(scan_of(1.0, 8, 100.0));
    h.advance();
    EXPECT_EQ(266, line_of(h.glog(), "undistorted point size: "));
    const auto timing = h.glog().starting_with("Undistorted time: ");
    ASSERT_EQ(2u, timing.size());
    EXPECT_EQ(286, timing[0].line);
  }
  {
    NodeHarness h({"-p", "lidar_type:=1"});
    EXPECT_EQ(77, line_of(h.glog(), "lidar type: livox vanjee 722"));
  }
  {
    NodeHarness h({"-p", "lidar_type:=7"});
    EXPECT_EQ(79, line_of(h.glog(), "lidar type error : 7"));
  }
}

}  // namespace
