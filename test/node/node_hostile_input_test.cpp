// Input a faulty or hostile sensor can send: one bad message must cost at most that message, never
// the node's later output, and must not flood the log.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "node_harness.hpp"

namespace
{

using sweepmend_test::NodeHarness;
using sweepmend_test::VanjeePoint;
using sweepmend_test::imu_sample;
using sweepmend_test::livox_point;
using sweepmend_test::livox_scan;
using sweepmend_test::read_points;
using sweepmend_test::seconds_of;
using sweepmend_test::vanjee_scan;

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

/// A Livox scan of `count` points after the unused point 0, the last `last_offset_ns` after the
/// stamp and the others evenly before it.
livox_ros_driver2::msg::CustomMsg livox_of(double stamp, int count, uint32_t last_offset_ns)
{
  std::vector<livox_ros_driver2::msg::CustomPoint> points = {livox_point(0, 0, 0)};
  for (int i = 1; i <= count; ++i) {
    const auto offset = static_cast<uint32_t>(static_cast<uint64_t>(last_offset_ns) * i / count);
    points.push_back(livox_point(2.0f + 0.25f * i, -1.0f + 0.125f * i, 0.5f, offset));
  }
  return livox_scan(stamp, points);
}

/// A PointCloud2 scan of `count` points spread over `duration` seconds.
std::vector<VanjeePoint> vanjee_points(int count, double duration)
{
  std::vector<VanjeePoint> points;
  for (int i = 1; i <= count; ++i) {
    points.push_back({3.0f + 0.01f * i, 1.0f - 0.02f * i, 0.5f, 7.0f, duration * i / count});
  }
  return points;
}

/// IMU samples at rest (200 Hz) from `from` to `to` seconds inclusive.
void publish_rest(NodeHarness & h, double from, double to)
{
  for (double t = from; t <= to + 1e-9; t += 0.005) {
    h.publish(imu_sample(t));
  }
}

bool all_finite(const sensor_msgs::msg::PointCloud2 & msg)
{
  for (const auto & p : read_points(msg)) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
      return false;
    }
  }
  return true;
}

size_t errors_starting_with(const NodeHarness & h, const std::string & prefix)
{
  size_t n = 0;
  for (const auto & r : h.glog().starting_with(prefix)) {
    n += r.severity == google::GLOG_ERROR ? 1 : 0;
  }
  return n;
}

// ---- scan durations -------------------------------------------------------------------------

TEST(HostileDuration, ImplausibleLastPointTimesNeitherCountNorMoveTheMean)
{
  // A legal uint32 offset of 4 s, and PointCloud2 times of 1000 s, minus half a second and NaN:
  // each scan ends at its start plus the mean, and only the first is reported within a second.
  {
    NodeHarness h;
    h.publish(imu_sample(100.0));
    SyncedMeasurement meas;
    h.publish(livox_of(10.0, 10, 100000000));
    ASSERT_TRUE(h.access().take_measurement(meas));
    ASSERT_DOUBLE_EQ(0.1, h.access().mean_scan_duration());
    for (double stamp : {11.0, 12.0}) {
      h.publish(livox_of(stamp, 10, 4000000000u));
      ASSERT_TRUE(h.access().take_measurement(meas));
      EXPECT_DOUBLE_EQ(stamp + 0.1, meas.lidar_end_time);
      EXPECT_EQ(1u, h.access().scan_count());
      EXPECT_DOUBLE_EQ(0.1, h.access().mean_scan_duration());
    }
    const auto warnings = h.glog().starting_with("scan duration ");
    ASSERT_EQ(1u, warnings.size());
    EXPECT_EQ(google::GLOG_WARNING, warnings[0].severity);
    EXPECT_EQ("point_processer.cpp", warnings[0].file);
    // A normal scan afterwards is counted as usual.
    h.publish(livox_of(13.0, 10, 120000000));
    ASSERT_TRUE(h.access().take_measurement(meas));
    EXPECT_DOUBLE_EQ(13.12, meas.lidar_end_time);
    EXPECT_EQ(2u, h.access().scan_count());
  }
  {
    NodeHarness h({"-p", "lidar_type:=1"});
    h.publish(imu_sample(100.0));
    SyncedMeasurement meas;
    h.publish(vanjee_scan(10.0, vanjee_points(20, 0.1)));
    ASSERT_TRUE(h.access().take_measurement(meas));
    for (double last : {1000.0, -0.5, 1.0 + 1e-6}) {
      SCOPED_TRACE(last);
      auto points = vanjee_points(20, 0.1);
      points.back().time = last;
      h.publish(vanjee_scan(11.0, points));
      ASSERT_TRUE(h.access().take_measurement(meas));
      EXPECT_DOUBLE_EQ(11.1, meas.lidar_end_time);
      EXPECT_EQ(1u, h.access().scan_count());
      EXPECT_DOUBLE_EQ(0.1, h.access().mean_scan_duration());
    }
    EXPECT_EQ(1u, h.glog().count("scan duration "));
  }
}

TEST(HostileDuration, OneBadScanDoesNotStopTheOutputOfLaterOnes)
{
  // The scan at 1.3 s claims a duration of 1000 s; every scan before and after it must still be
  // published, each stamped with its start plus 0.1 s.
  NodeHarness h({"-p", "lidar_type:=1"});
  publish_rest(h, 0.9, 1.0);
  std::vector<double> stamps;
  for (int k = 0; k < 8; ++k) {
    const double start = 1.0 + 0.1 * k;
    auto points = vanjee_points(30, 0.1);
    if (k == 3) {
      points.back().time = 1000.0;
    }
    h.publish(vanjee_scan(start, points));
    publish_rest(h, start + 0.005, start + 0.1);
    h.advance(2);
    stamps.push_back(start + 0.1);
  }
  // Samples past the last scan's end, whatever the rounding of its stamp.
  publish_rest(h, 1.805, 1.85);
  h.advance(5);
  ASSERT_EQ(stamps.size(), h.raw().size());
  for (size_t k = 0; k < stamps.size(); ++k) {
    EXPECT_NEAR(stamps[k], seconds_of(h.raw()[k].header.stamp), 1e-6) << k;
  }
  // All but the initialising first scan are undistorted.
  EXPECT_EQ(stamps.size() - 1, h.undistorted().size());
}

// ---- PointCloud2 layout ---------------------------------------------------------------------

TEST(HostilePointCloud2, PointStepTooShortForThePointDropsTheMessage)
{
  NodeHarness h({"-p", "lidar_type:=1"});
  for (uint32_t step : {0u, 25u}) {
    // A 26-byte payload that a step of 0 would read 100000 times.
    auto msg = vanjee_scan(1.0 + step, vanjee_points(1, 0.1), 26);
    msg.point_step = step;
    msg.width = 100000;
    h.publish(msg);
  }
  EXPECT_TRUE(h.access().lidar_buffer().empty());
  EXPECT_TRUE(h.access().time_buffer().empty());
  // Dropped before the loop-back bookkeeping: the next scan is still the first one.
  EXPECT_TRUE(h.access().first_scan());
  const auto errors = h.glog().starting_with("message on /livox/lidar dropped: point_step 0 ");
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ(google::GLOG_ERROR, errors[0].severity);
  EXPECT_NE(std::string::npos, errors[0].text.find("26")) << errors[0].text;
  // The second one fell within the same second.
  EXPECT_EQ(0u, h.glog().count("message on /livox/lidar dropped: point_step 25"));

  // 26 bytes are enough.
  h.publish(vanjee_scan(5.0, vanjee_points(3, 0.1), 26));
  ASSERT_EQ(1u, h.access().lidar_buffer().size());
  EXPECT_EQ(3u, h.access().lidar_buffer().back()->size());
}

TEST(HostilePointCloud2, DeclaredSizeBeyondTheDataReadsOnlyWhatIsThere)
{
  NodeHarness h({"-p", "lidar_type:=1"});
  // 65535 × 65535 points declared, three sent.
  auto msg = vanjee_scan(1.0, vanjee_points(3, 0.1), 26);
  msg.height = 65535;
  msg.width = 65535;
  h.publish(msg);
  ASSERT_EQ(1u, h.access().lidar_buffer().size());
  EXPECT_EQ(3u, h.access().lidar_buffer().back()->size());

  // 65536 × 65536 wraps to 0 in 32 bits; the two points sent are still read.
  msg = vanjee_scan(2.0, vanjee_points(2, 0.1), 32);
  msg.height = 65536;
  msg.width = 65536;
  h.publish(msg);
  ASSERT_EQ(2u, h.access().lidar_buffer().size());
  EXPECT_EQ(2u, h.access().lidar_buffer().back()->size());
}

TEST(HostilePointCloud2, PointWithoutAFiniteTimeIsAMissingReturn)
{
  NodeHarness h({"-p", "lidar_type:=1"});
  publish_rest(h, 0.9, 1.25);
  // Initialise with a first scan, then one with a NaN time at point 100 of 200 and an infinite
  // one at point 150.
  h.publish(vanjee_scan(1.0, vanjee_points(200, 0.1)));
  h.advance();
  auto points = vanjee_points(200, 0.1);
  points[100].time = kNan;
  points[150].time = -kInf;
  h.publish(vanjee_scan(1.1, points));
  const auto & queued = *h.access().lidar_buffer().back();
  ASSERT_EQ(198u, queued.size());
  for (const auto & p : queued.points) {
    ASSERT_TRUE(std::isfinite(p.curvature));
  }
  h.advance();
  ASSERT_EQ(1u, h.undistorted().size());
  const auto out = read_points(h.undistorted()[0]);
  ASSERT_EQ(198u, out.size());
  for (size_t i = 1; i < out.size(); ++i) {
    EXPECT_LE(out[i - 1].curvature, out[i].curvature) << i;
  }
}

// ---- IMU values and published coordinates ---------------------------------------------------

TEST(HostileImu, NonFiniteSamplesAreDroppedAndTheScanStaysFinite)
{
  NodeHarness h;
  publish_rest(h, 0.9, 1.1);
  h.publish(livox_of(1.0, 50, 100000000));
  h.advance();
  ASSERT_EQ(1u, h.raw().size());

  // Within the next scan: a NaN rate and an infinite acceleration among samples at rest.
  publish_rest(h, 1.105, 1.14);
  h.publish(imu_sample(1.142, kNan, 0.0, 0.0));
  h.publish(imu_sample(1.144, 0.0, 0.0, 0.0, 0.0, kInf, 9.81));
  EXPECT_EQ(seconds_of(h.access().imu_buffer().back()->header.stamp), 1.14);
  EXPECT_NEAR(1.14, h.access().last_imu_stamp(), 1e-12);
  // Past the scan end (1.1 + 0.1 s, a little above 1.2 in double).
  publish_rest(h, 1.145, 1.21);
  for (const auto & imu : h.access().imu_buffer()) {
    EXPECT_TRUE(std::isfinite(imu->angular_velocity.x));
    EXPECT_TRUE(std::isfinite(imu->linear_acceleration.y));
  }

  h.publish(livox_of(1.1, 50, 100000000));
  h.advance();
  ASSERT_EQ(1u, h.undistorted().size());
  EXPECT_TRUE(all_finite(h.undistorted()[0]));
  EXPECT_EQ(50u, read_points(h.undistorted()[0]).size());
  EXPECT_EQ(0u, h.glog().count("P_compensate resulted in NaN"));

  const auto errors = h.glog().starting_with("message on /livox/imu dropped: ");
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ(google::GLOG_ERROR, errors[0].severity);
  EXPECT_NE(std::string::npos, errors[0].text.find("nan")) << errors[0].text;
}

TEST(HostileImu, CloudWithNonFiniteCoordinatesIsNotPublished)
{
  // Finite but absurd rates overflow the integration: the undistorted scan is all NaN and must
  // not go out; the received scan is fine and still does. The per-point NaN report comes once.
  NodeHarness h;
  publish_rest(h, 0.9, 1.1);
  h.publish(livox_of(1.0, 50, 100000000));
  h.advance();
  for (double t = 1.105; t <= 1.21 + 1e-9; t += 0.005) {
    h.publish(imu_sample(t, 1e300, -1e300, 1e300));
  }
  h.publish(livox_of(1.1, 50, 100000000));
  h.advance();
  EXPECT_EQ(2u, h.raw().size());
  EXPECT_TRUE(all_finite(h.raw().back()));
  EXPECT_TRUE(h.undistorted().empty());
  EXPECT_EQ(1u, h.glog().count("P_compensate resulted in NaN: "));
  EXPECT_EQ(1u, errors_starting_with(h, "cloud for /livox/lidar_undistorted not published"));
}

TEST(HostileImu, TransformThatOverflowsKeepsTheRawCloudBack)
{
  // 3e38 m plus a translation of 3e38 m is beyond float: the raw cloud would carry +inf.
  NodeHarness h({"-p", "extrinsic_T:=[3.0e38, 0.0, 0.0]"});
  publish_rest(h, 0.9, 1.3);
  auto msg = livox_of(1.0, 10, 100000000);
  msg.points[5].x = 3.0e38f;
  h.publish(msg);
  h.advance();
  EXPECT_TRUE(h.raw().empty());
  EXPECT_EQ(1u, errors_starting_with(h, "cloud for /livox/lidar_undistorted_raw not published"));
  // The next clean scan goes out again.
  h.publish(livox_of(1.1, 10, 100000000));
  h.advance();
  ASSERT_EQ(1u, h.raw().size());
  EXPECT_TRUE(all_finite(h.raw()[0]));
}

// ---- stamps ---------------------------------------------------------------------------------

TEST(HostileStamps, NegativeStampErrorIsWrittenAtMostOnceASecondPerTopic)
{
  NodeHarness h;
  for (int i = 0; i < 200; ++i) {
    auto imu = imu_sample(1.0);
    imu.header.stamp.sec = -1 - i;
    h.publish(imu);
  }
  for (int i = 0; i < 20; ++i) {
    auto scan = livox_of(1.0, 10, 100000000);
    scan.header.stamp.sec = -5;
    h.publish(scan);
  }
  EXPECT_TRUE(h.access().imu_buffer().empty());
  EXPECT_TRUE(h.access().lidar_buffer().empty());
  const auto imu_errors = h.glog().starting_with("message on /livox/imu dropped: negative stamp");
  ASSERT_EQ(1u, imu_errors.size());
  EXPECT_EQ("message on /livox/imu dropped: negative stamp (-1 s)", imu_errors[0].text);
  EXPECT_EQ(1u, h.glog().count("message on /livox/lidar dropped: negative stamp (-5 s)"));
}

TEST(HostileStamps, LoopBackReportsAreWrittenAtMostOnceASecond)
{
  // A source whose stamps jump back and forth: every jump back still empties its queue.
  NodeHarness h;
  sweepmend_test::StderrCapture err;
  for (int i = 0; i < 50; ++i) {
    const double t = i % 2 == 0 ? 10.0 : 5.0;
    h.publish(imu_sample(t));
    h.publish(livox_of(t, 10, 100000000));
  }
  EXPECT_EQ(1u, h.access().imu_buffer().size());
  EXPECT_EQ(1u, h.access().lidar_buffer().size());
  EXPECT_EQ(1u, h.glog().count("lidar loop back, clear buffer"));
  size_t notices = 0;
  for (const auto & line : err.lines()) {
    notices += line.find("imu loop back") != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(1u, notices);
}

// ---- Livox repeat test ----------------------------------------------------------------------

TEST(HostileLivox, NanDifferenceDoesNotMakeAPointNew)
{
  // Each point is dropped unless one coordinate differs from its predecessor's by more than
  // 1e-7; a NaN difference exceeds nothing.
  NodeHarness h;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  h.publish(
    livox_scan(
      1.0, {
        livox_point(0, 0, 0),
        livox_point(nan, 2, 3),  // no finite position: not kept
        livox_point(5, 2, 3),    // differs only by NaN in x: a repeat
        livox_point(6, 2, 3),    // kept
        livox_point(inf, 4, 4),  // no finite position: not kept
        livox_point(inf, 4, 4),  // inf - inf is NaN: a repeat
        livox_point(7, 4, 4),    // differs by inf: kept
      }));
  std::vector<float> xs;
  for (const auto & p : h.access().lidar_buffer().back()->points) {
    xs.push_back(p.x);
  }
  EXPECT_EQ(std::vector<float>({6, 7}), xs);
}

}  // namespace
