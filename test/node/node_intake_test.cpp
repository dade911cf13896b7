// Scan and IMU intake: what reaches the queues, with which fields, and the loop-back rules.
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "node_harness.hpp"

namespace
{

using sweepmend_test::NodeHarness;
using sweepmend_test::StderrCapture;
using sweepmend_test::VanjeePoint;
using sweepmend_test::imu_sample;
using sweepmend_test::livox_point;
using sweepmend_test::livox_scan;
using sweepmend_test::stamp_at;
using sweepmend_test::vanjee_scan;
using Cloud = pcl::PointCloud<pcl::PointXYZINormal>;

/// x of every point of the newest queued scan.
std::vector<float> queued_x(NodeHarness & h)
{
  std::vector<float> xs;
  for (const auto & p : h.access().lidar_buffer().back()->points) {
    xs.push_back(p.x);
  }
  return xs;
}

// ---- Livox custom messages ----------------------------------------------------------------

TEST(LivoxIntake, PointZeroIsNeverUsed)
{
  NodeHarness h;
  h.publish(livox_scan(1.0, {livox_point(5, 5, 5), livox_point(1, 0, 0), livox_point(2, 0, 0)}));
  EXPECT_EQ(std::vector<float>({1, 2}), queued_x(h));
}

TEST(LivoxIntake, FirstPointAtTheOriginIsARepeatOfTheUnusedEntry)
{
  NodeHarness h;
  h.publish(livox_scan(1.0, {livox_point(5, 5, 5), livox_point(0, 0, 0), livox_point(1, 0, 0)}));
  EXPECT_EQ(std::vector<float>({1}), queued_x(h));
}

TEST(LivoxIntake, LinesFromFourOnAreDropped)
{
  NodeHarness h;
  h.publish(
    livox_scan(
      1.0, {livox_point(9, 9, 9), livox_point(1, 0, 0, 0, 0, 0), livox_point(2, 0, 0, 0, 0, 3),
        livox_point(3, 0, 0, 0, 0, 4), livox_point(4, 0, 0, 0, 0, 200)}));
  EXPECT_EQ(std::vector<float>({1, 2}), queued_x(h));
}

TEST(LivoxIntake, TagFieldsAreTestedAgainstTheirThresholds)
{
  const std::vector<uint8_t> tags = {0x00, 0x15, 0xC0, 0x02, 0x08, 0x20};
  std::vector<livox_ros_driver2::msg::CustomPoint> points = {livox_point(9, 9, 9)};
  for (size_t i = 0; i < tags.size(); ++i) {
    points.push_back(livox_point(static_cast<float>(i + 1), 0, 0, 0, tags[i]));
  }
  {
    // At the default thresholds (1, 1, 1) a field value of 2 or 3 fails: 0x02 in bits 0-1,
    // 0x08 in bits 2-3, 0x20 in bits 4-5; bits 6-7 are not tested.
    NodeHarness h;
    h.publish(livox_scan(1.0, points));
    EXPECT_EQ(std::vector<float>({1, 2, 3}), queued_x(h));
  }
  {
    NodeHarness h({"-p", "point_conf_thr:=3", "-p", "object_conf_thr:=3",
        "-p", "adhesion_conf_thr:=3"});
    h.publish(livox_scan(1.0, points));
    EXPECT_EQ(std::vector<float>({1, 2, 3, 4, 5, 6}), queued_x(h));
  }
  {
    // Each threshold guards its own field.
    NodeHarness h({"-p", "adhesion_conf_thr:=2"});
    h.publish(livox_scan(1.0, points));
    EXPECT_EQ(std::vector<float>({1, 2, 3, 4}), queued_x(h));
  }
  {
    NodeHarness h({"-p", "point_conf_thr:=2", "-p", "object_conf_thr:=2"});
    h.publish(livox_scan(1.0, points));
    EXPECT_EQ(std::vector<float>({1, 2, 3, 5, 6}), queued_x(h));
  }
}

TEST(LivoxIntake, RepeatsOfThePrecedingPointAreDropped)
{
  NodeHarness h;
  h.publish(
    livox_scan(
      1.0, {
        livox_point(0, 0, 0),
        livox_point(1, 2, 3),
        livox_point(1, 2, 3),         // repeat: dropped
        livox_point(1, 2, 3.000001f),  // differs by 1e-6 in z: kept
        livox_point(7, 7, 7, 0, 0, 5),  // line 5: dropped
        livox_point(7, 7, 7),         // its predecessor failed, so compared with zero: kept
        livox_point(8, 0, 0, 0, 0x02),  // tag fails
        livox_point(0, 0, 0),         // compared with the zeroed failed entry: dropped
        livox_point(0, 0, 5e-8f),      // within 1e-7 of its predecessor (dropped, zero): dropped
      }));
  EXPECT_EQ(std::vector<float>({1, 1, 7}), queued_x(h));
  EXPECT_FLOAT_EQ(3.000001f, h.access().lidar_buffer().back()->points[1].z);
}

TEST(LivoxIntake, PointFieldsCarryTagAndTimeOffset)
{
  NodeHarness h;
  h.publish(
    livox_scan(
      1.0, {livox_point(0, 0, 0), livox_point(1.5f, -2.5f, 3.25f, 100000000, 0x10),
        livox_point(4, 5, 6, 1234567, 0x01)}));
  const Cloud & cloud = *h.access().lidar_buffer().back();
  ASSERT_EQ(2u, cloud.size());
  EXPECT_EQ(1.5f, cloud[0].x);
  EXPECT_EQ(-2.5f, cloud[0].y);
  EXPECT_EQ(3.25f, cloud[0].z);
  EXPECT_EQ(16.0f, cloud[0].intensity);
  EXPECT_EQ(100.0f, cloud[0].curvature);
  EXPECT_EQ(0.0f, cloud[0].normal_x);
  EXPECT_EQ(0.0f, cloud[0].normal_y);
  EXPECT_EQ(0.0f, cloud[0].normal_z);
  EXPECT_EQ(1.0f, cloud[1].intensity);
  // 1234567 ns in milliseconds, divided in single precision.
  EXPECT_EQ(1234567.0f / 1000000.0f, cloud[1].curvature);
  EXPECT_EQ(2u, cloud.width);
  EXPECT_EQ(1u, cloud.height);
  EXPECT_TRUE(cloud.is_dense);
}

TEST(LivoxIntake, EachMessageNamesTheOutputFrameAndIsLogged)
{
  NodeHarness h({"-p", "frame_id:=param_frame"});
  EXPECT_EQ("param_frame", output_frame_id);
  h.publish(livox_scan(1.0, {livox_point(0, 0, 0), livox_point(1, 0, 0)}, "first"));
  EXPECT_EQ("first", output_frame_id);
  h.publish(livox_scan(1.1, {livox_point(0, 0, 0), livox_point(1, 0, 0)}, "second"));
  EXPECT_EQ("second", output_frame_id);

  const auto lines = h.glog().starting_with("raw point size: ");
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("raw point size: 2  ,pl_surf point size: 1", lines[0].text);
  EXPECT_EQ(google::GLOG_INFO, lines[0].severity);
  EXPECT_EQ("point_processer.cpp", lines[0].file);
}

TEST(LivoxIntake, ScansWithoutUsablePointsAreQueuedEmptyWithTheirStamp)
{
  NodeHarness h;
  h.publish(livox_scan(1.0, {}));
  h.publish(livox_scan(2.0, {livox_point(1, 2, 3)}));
  h.publish(livox_scan(3.0, {livox_point(0, 0, 0), livox_point(1, 0, 0, 0, 0, 4)}));
  const auto & scans = h.access().lidar_buffer();
  ASSERT_EQ(3u, scans.size());
  for (const auto & scan : scans) {
    EXPECT_TRUE(scan->empty());
    EXPECT_EQ(0u, scan->width);
    EXPECT_EQ(0u, scan->height);
  }
  EXPECT_EQ(std::deque<double>({1.0, 2.0, 3.0}), h.access().time_buffer());
  EXPECT_EQ(1u, h.glog().count("raw point size: 1  ,pl_surf point size: 0"));
}

TEST(LivoxIntake, AnnouncedCountBeyondTheEntriesReadsOnlyTheEntries)
{
  NodeHarness h;
  auto msg = livox_scan(1.0, {livox_point(0, 0, 0), livox_point(1, 0, 0), livox_point(2, 0, 0)});
  msg.point_num = 100000;
  h.publish(msg);
  EXPECT_EQ(std::vector<float>({1, 2}), queued_x(h));
  EXPECT_EQ(1u, h.glog().count("raw point size: 3  ,pl_surf point size: 2"));

  // A smaller count limits the loop.
  msg.point_num = 2;
  msg.header.stamp = stamp_at(1.1);
  h.publish(msg);
  EXPECT_EQ(std::vector<float>({1}), queued_x(h));
}

// ---- PointCloud2 --------------------------------------------------------------------------

TEST(PointCloud2Intake, PointsAtTheOriginAreDropped)
{
  NodeHarness h({"-p", "lidar_type:=1"});
  h.publish(
    vanjee_scan(
      1.0, {{0, 0, 5e-8f, 1, 0.0}, {0, 0, 2e-7f, 2, 0.0}, {0, 0, 0, 3, 0.0},
        {-5e-8f, 5e-8f, 9e-8f, 4, 0.0}, {0, -3e-7f, 0, 5, 0.0}}));
  const Cloud & cloud = *h.access().lidar_buffer().back();
  ASSERT_EQ(2u, cloud.size());
  EXPECT_EQ(2e-7f, cloud[0].z);
  EXPECT_EQ(-3e-7f, cloud[1].y);
}

TEST(PointCloud2Intake, FieldsAreReadAtTheirFixedOffsets)
{
  NodeHarness h({"-p", "lidar_type:=1"});
  auto msg = vanjee_scan(1.0, {{1.5f, -2.25f, 3.0f, 42.5f, 0.05}, {4, 5, 6, 7, 0.0123456789}});
  // The field descriptions are not consulted.
  for (auto & f : msg.fields) {
    f.offset += 3;
  }
  h.publish(msg);
  const Cloud & cloud = *h.access().lidar_buffer().back();
  ASSERT_EQ(2u, cloud.size());
  EXPECT_EQ(1.5f, cloud[0].x);
  EXPECT_EQ(-2.25f, cloud[0].y);
  EXPECT_EQ(3.0f, cloud[0].z);
  EXPECT_EQ(42.5f, cloud[0].intensity);
  EXPECT_EQ(50.0f, cloud[0].curvature);
  EXPECT_EQ(0.0f, cloud[0].normal_x);
  EXPECT_EQ(0.0f, cloud[0].normal_y);
  EXPECT_EQ(0.0f, cloud[0].normal_z);
  // Milliseconds in double precision, then rounded to float.
  EXPECT_EQ(static_cast<float>(12.3456789), cloud[1].curvature);
}

TEST(PointCloud2Intake, RowsAreReadAsConsecutivePoints)
{
  NodeHarness h({"-p", "lidar_type:=1"});
  std::vector<VanjeePoint> points;
  for (int i = 0; i < 200; ++i) {
    points.push_back({static_cast<float>(i + 1), 0, 0, 0, 0.0005 * i});
  }
  auto msg = vanjee_scan(1.0, points, 40, 2);
  ASSERT_EQ(2u, msg.height);
  ASSERT_EQ(100u, msg.width);
  msg.row_step = 7;
  h.publish(msg);
  const Cloud & cloud = *h.access().lidar_buffer().back();
  ASSERT_EQ(200u, cloud.size());
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(static_cast<float>(i + 1), cloud[i].x);
  }
  EXPECT_EQ(200u, cloud.width);
  EXPECT_EQ(1u, cloud.height);
}

TEST(PointCloud2Intake, LogsStampSizeAndSamplePoints)
{
  for (const size_t count : {50u, 1000u}) {
    NodeHarness h({"-p", "lidar_type:=1"});
    std::vector<VanjeePoint> points;
    for (size_t i = 0; i < count; ++i) {
      points.push_back({static_cast<float>(i) + 0.5f, -1.0f, 2.0f, 3.0f, 0.0001 * i});
    }
    h.publish(vanjee_scan(12.5, points));

    EXPECT_EQ(1u, h.glog().count("Received PointCloud2 message with timestamp: 12.500000"));
    EXPECT_EQ(1u, h.glog().count("vanjee pcl size: " + std::to_string(count)));
    const auto samples = h.ros_log().starting_with("Point ");
    ASSERT_EQ(count == 50 ? 1u : 10u, samples.size());
    for (size_t k = 0; k < samples.size(); ++k) {
      char expected[200];
      std::snprintf(
        expected, sizeof(expected),
        "Point %zu: x = %f, y = -1.000000, z = 2.000000, intensity = 3.000000, curvature = %f", k,
        100.0 * k + 0.5, static_cast<double>(static_cast<float>(0.0001 * (100 * k) * 1000.0)));
      EXPECT_EQ(expected, samples[k].text);
      EXPECT_EQ(RCUTILS_LOG_SEVERITY_INFO, samples[k].severity);
      EXPECT_EQ("harrow_node", samples[k].logger);
    }
    const auto last = h.ros_log().starting_with("Last Point: ");
    ASSERT_EQ(1u, last.size());
    char expected[200];
    std::snprintf(
      expected, sizeof(expected),
      "Last Point: x = %f, y = -1.000000, z = 2.000000, intensity = 3.000000, curvature = %f",
      count - 0.5, static_cast<double>(static_cast<float>(0.0001 * (count - 1) * 1000.0)));
    EXPECT_EQ(expected, last[0].text);
  }
}

TEST(PointCloud2Intake, EmptyScansAreQueuedWithoutSampleLines)
{
  NodeHarness h({"-p", "lidar_type:=1", "-p", "frame_id:=vanjee_out"});
  h.publish(vanjee_scan(3.0, {}));
  ASSERT_EQ(1u, h.access().lidar_buffer().size());
  EXPECT_TRUE(h.access().lidar_buffer().front()->empty());
  EXPECT_EQ(3.0, h.access().time_buffer().front());
  EXPECT_EQ(1u, h.glog().count("vanjee pcl size: 0"));
  EXPECT_EQ(0u, h.ros_log().count("Point "));
  EXPECT_EQ(0u, h.ros_log().count("Last Point"));
  // PointCloud2 scans leave the output frame alone.
  EXPECT_EQ("vanjee_out", output_frame_id);
}

TEST(PointCloud2Intake, ShortDataOrPointStepReadsOnlyWholePoints)
{
  NodeHarness h({"-p", "lidar_type:=1"});
  std::vector<VanjeePoint> points;
  for (int i = 0; i < 10; ++i) {
    points.push_back({static_cast<float>(i + 1), 0, 0, 0, 0.0});
  }
  // Data cut inside point 6 (bytes 6 * 32 .. 6 * 32 + 25): points 0 to 5 are read.
  auto cut = vanjee_scan(1.0, points);
  cut.data.resize(6 * 32 + 25);
  h.publish(cut);
  EXPECT_EQ(std::vector<float>({1, 2, 3, 4, 5, 6}), queued_x(h));

  // A point step of 20 is shorter than a point: the points would overlap, so the whole message
  // is dropped.
  sensor_msgs::msg::PointCloud2 narrow = vanjee_scan(1.1, points);
  narrow.point_step = 20;
  narrow.width = 16;
  h.publish(narrow);
  EXPECT_EQ(1u, h.access().lidar_buffer().size());
  EXPECT_EQ(1u, h.glog().count("message on /livox/lidar dropped: point_step 20 "));

  // Nothing of a scan whose data holds no whole point.
  auto empty = vanjee_scan(1.2, points);
  empty.data.resize(25);
  h.publish(empty);
  EXPECT_TRUE(h.access().lidar_buffer().back()->empty());
  EXPECT_EQ(2u, h.access().lidar_buffer().size());
}

// ---- loop-back and stamps -----------------------------------------------------------------

TEST(ScanLoopBack, OlderScanEmptiesTheScanQueuesOnly)
{
  NodeHarness h;
  h.publish(imu_sample(5.0));
  h.publish(imu_sample(6.0));
  h.publish(livox_scan(5.0, {livox_point(0, 0, 0), livox_point(1, 0, 0)}));
  h.publish(livox_scan(5.1, {livox_point(0, 0, 0), livox_point(2, 0, 0)}));
  h.publish(livox_scan(5.1, {livox_point(0, 0, 0), livox_point(3, 0, 0)}));
  EXPECT_EQ(3u, h.access().lidar_buffer().size());
  EXPECT_EQ(0u, h.glog().count("lidar loop back"));

  h.publish(livox_scan(2.0, {livox_point(0, 0, 0), livox_point(4, 0, 0)}));
  const auto errors = h.glog().starting_with("lidar loop back");
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ("lidar loop back, clear buffer", errors[0].text);
  EXPECT_EQ(google::GLOG_ERROR, errors[0].severity);
  ASSERT_EQ(1u, h.access().lidar_buffer().size());
  EXPECT_EQ(4.0f, h.access().lidar_buffer().front()->points.at(0).x);
  EXPECT_EQ(std::deque<double>({2.0}), h.access().time_buffer());
  EXPECT_EQ(2.0, h.access().last_lidar_stamp());
  EXPECT_EQ(2u, h.access().imu_buffer().size());
  EXPECT_EQ(6.0, h.access().last_imu_stamp());
}

TEST(ScanLoopBack, AppliesToPointCloud2ScansAlike)
{
  NodeHarness h({"-p", "lidar_type:=1"});
  h.publish(vanjee_scan(5.0, {{1, 0, 0, 0, 0.0}}));
  h.publish(vanjee_scan(4.0, {{2, 0, 0, 0, 0.0}}));
  EXPECT_EQ(1u, h.glog().count("lidar loop back, clear buffer"));
  ASSERT_EQ(1u, h.access().lidar_buffer().size());
  EXPECT_EQ(std::deque<double>({4.0}), h.access().time_buffer());
}

TEST(ImuLoopBack, OlderSampleEmptiesTheImuQueueOnly)
{
  NodeHarness h;
  h.publish(livox_scan(9.0, {livox_point(0, 0, 0), livox_point(1, 0, 0)}));
  h.publish(imu_sample(10.0));
  h.publish(imu_sample(10.0));  // equal stamps: both queued
  h.publish(imu_sample(10.005));
  EXPECT_EQ(3u, h.access().imu_buffer().size());

  StderrCapture err;
  h.publish(imu_sample(3.0));
  const auto lines = err.lines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("loop back")) << lines[0];
  ASSERT_EQ(1u, h.access().imu_buffer().size());
  EXPECT_EQ(stamp_at(3.0), h.access().imu_buffer().front()->header.stamp);
  EXPECT_EQ(3.0, h.access().last_imu_stamp());
  EXPECT_EQ(1u, h.access().lidar_buffer().size());
  EXPECT_EQ(9.0, h.access().last_lidar_stamp());
  EXPECT_EQ(0u, h.glog().count("lidar loop back"));
}

TEST(ImuIntake, QueuesTheDeliveredMessageItself)
{
  NodeHarness h;
  auto msg = std::make_shared<sensor_msgs::msg::Imu>(imu_sample(1.0, 0.1, 0.2, 0.3, 1, 2, 3));
  h.access().imu_callback(msg);
  ASSERT_EQ(1u, h.access().imu_buffer().size());
  EXPECT_EQ(msg.get(), h.access().imu_buffer().front().get());
}

TEST(NegativeStamps, MessagesAreDroppedWithAnErrorNamingTheTopic)
{
  NodeHarness h({"-p", "frame_id:=kept"});
  h.publish(imu_sample(1.0));
  h.publish(livox_scan(1.0, {livox_point(0, 0, 0), livox_point(1, 0, 0)}, "scan_frame"));

  auto imu = imu_sample(0.0);
  imu.header.stamp.sec = -1;
  h.publish(imu);
  auto scan = livox_scan(0.0, {livox_point(0, 0, 0), livox_point(2, 0, 0)}, "bad_frame");
  scan.header.stamp.sec = -5;
  h.publish(scan);

  const auto errors = h.glog().starting_with("message on ");
  ASSERT_EQ(2u, errors.size());
  EXPECT_EQ(google::GLOG_ERROR, errors[0].severity);
  EXPECT_NE(std::string::npos, errors[0].text.find("/livox/imu"));
  EXPECT_NE(std::string::npos, errors[1].text.find("/livox/lidar"));
  EXPECT_EQ(1u, h.access().imu_buffer().size());
  EXPECT_EQ(1.0, h.access().last_imu_stamp());
  EXPECT_EQ(1u, h.access().lidar_buffer().size());
  EXPECT_EQ(1.0, h.access().last_lidar_stamp());
  EXPECT_EQ("scan_frame", output_frame_id);
  EXPECT_EQ(0u, h.glog().count("lidar loop back"));
  EXPECT_EQ(1u, h.glog().count("raw point size"));
}

TEST(NegativeStamps, FirstPointCloud2ScanDroppedLeavesTheFirstScanRule)
{
  NodeHarness h({"-p", "lidar_type:=1"});
  auto scan = vanjee_scan(0.0, {{1, 0, 0, 0, 0.0}});
  scan.header.stamp.sec = -2;
  h.publish(scan);
  EXPECT_EQ(1u, h.glog().count("message on /livox/lidar"));
  EXPECT_TRUE(h.access().lidar_buffer().empty());
  EXPECT_TRUE(h.access().first_scan());
  EXPECT_EQ(0u, h.glog().count("vanjee pcl size"));
}

// ---- bounded queues -----------------------------------------------------------------------

TEST(BoundedQueues, ScansBeyondTheBoundDropTheOldestWithAThrottledWarning)
{
  NodeHarness h;
  const auto started = std::chrono::steady_clock::now();
  const size_t extra = 5;
  for (size_t i = 0; i < DataSubscriber::kMaxQueuedScans + extra; ++i) {
    h.publish(livox_scan(1.0 + 0.1 * i, {livox_point(0, 0, 0), livox_point(i + 1.0f, 0, 0)}));
  }
  const double elapsed = std::chrono::duration<double>(
    std::chrono::steady_clock::now() - started).count();
  const auto & scans = h.access().lidar_buffer();
  const auto & stamps = h.access().time_buffer();
  ASSERT_EQ(DataSubscriber::kMaxQueuedScans, scans.size());
  ASSERT_EQ(DataSubscriber::kMaxQueuedScans, stamps.size());
  // Both queues lost the same oldest entries and stay in step.
  for (size_t k = 0; k < scans.size(); ++k) {
    EXPECT_EQ(static_cast<float>(k + extra + 1), scans[k]->points.at(0).x);
    EXPECT_DOUBLE_EQ(1.0 + 0.1 * (k + extra), stamps[k]);
  }
  // The first drop warns; later ones within a second of it do not.
  const auto warnings = h.glog().starting_with("scan queue full");
  ASSERT_GE(warnings.size(), 1u);
  EXPECT_LE(warnings.size(), 1u + static_cast<size_t>(elapsed));
  EXPECT_EQ(google::GLOG_WARNING, warnings[0].severity);

  // A second later the next drop warns again and counts the silent drops.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  h.publish(livox_scan(100.0, {livox_point(0, 0, 0), livox_point(1, 0, 0)}));
  const auto later = h.glog().starting_with("scan queue full");
  ASSERT_EQ(warnings.size() + 1, later.size());
  if (warnings.size() == 1) {
    EXPECT_NE(std::string::npos, later.back().text.find(", 5 since the last warning"))
      << later.back().text;
  }
}

TEST(BoundedQueues, ImuSamplesBeyondTheBoundDropTheOldest)
{
  NodeHarness h;
  const size_t extra = 3;
  const size_t total = DataSubscriber::kMaxQueuedImuSamples + extra;
  for (size_t i = 0; i < total; ++i) {
    h.access().imu_callback(
      std::make_shared<sensor_msgs::msg::Imu>(imu_sample(1.0 + 0.005 * i)));
  }
  const auto & samples = h.access().imu_buffer();
  ASSERT_EQ(DataSubscriber::kMaxQueuedImuSamples, samples.size());
  EXPECT_EQ(stamp_at(1.0 + 0.005 * extra), samples.front()->header.stamp);
  EXPECT_EQ(stamp_at(1.0 + 0.005 * (total - 1)), samples.back()->header.stamp);
  EXPECT_GE(h.glog().count("IMU queue full"), 1u);

  // Delivered through the subscription as well.
  h.publish(imu_sample(1.0 + 0.005 * total));
  EXPECT_EQ(DataSubscriber::kMaxQueuedImuSamples, samples.size());
  EXPECT_EQ(stamp_at(1.0 + 0.005 * (extra + 1)), samples.front()->header.stamp);
}

}  // namespace
