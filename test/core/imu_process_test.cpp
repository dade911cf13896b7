// Tests of the motion compensator, without any executor: measurements are built by hand.
//
// Stamps and point offsets use multiples of 1/128 s, which are exact in binary, so that time
// comparisons inside the compensator (ties, interval starts) are deterministic and the expected
// values can be derived in closed form.

#include <glog/logging.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <Eigen/Dense>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "sensor_msgs/msg/imu.hpp"
#include "sweepmend/imu_process.hpp"
#include "sweepmend/synced_measurement.hpp"

/// Read access to the compensator's private state.
class IMUProcessTestAccess
{
public:
  static const SyncedMeasurement & meas(const IMUProcess & p) {return p.meas_;}
  static const std::shared_ptr<const sensor_msgs::msg::Imu> & last_imu(const IMUProcess & p)
  {
    return p.last_imu_;
  }
  static bool need_init(const IMUProcess & p) {return p.need_init_;}
  static double last_lidar_end_time(const IMUProcess & p) {return p.last_lidar_end_time_;}
  static const Eigen::Vector3d & mean_acc(const IMUProcess & p) {return p.mean_acc_;}
  static const Eigen::Vector3d & gravity(const IMUProcess & p) {return p.gravity_;}
  /// Puts the rate limits of p's repeated records on the clock `now`.
  static void set_log_clock(IMUProcess & p, const sweepmend::LogThrottle::Now & now)
  {
    p.init_log_ = sweepmend::LogThrottle(std::chrono::seconds(1), now);
    p.nan_log_ = sweepmend::LogThrottle(std::chrono::seconds(1), now);
  }
};

namespace
{

using Access = IMUProcessTestAccess;
using Cloud = pcl::PointCloud<pcl::PointXYZINormal>;
using CloudPtr = std::shared_ptr<Cloud>;
using ImuPtr = std::shared_ptr<const sensor_msgs::msg::Imu>;

constexpr double kTick = 1.0 / 128.0;  // s
constexpr int64_t kBase = 12800;       // 100 s in ticks
const Eigen::Vector3d kZero = Eigen::Vector3d::Zero();

double TickSeconds(int64_t tick) {return static_cast<double>(tick) / 128.0;}

ImuPtr MakeImu(int64_t tick, const Eigen::Vector3d & gyr, const Eigen::Vector3d & acc)
{
  auto imu = std::make_shared<sensor_msgs::msg::Imu>();
  imu->header.stamp.sec = static_cast<int32_t>(tick / 128);
  imu->header.stamp.nanosec = static_cast<uint32_t>((tick % 128) * 7812500);
  imu->angular_velocity.x = gyr.x();
  imu->angular_velocity.y = gyr.y();
  imu->angular_velocity.z = gyr.z();
  imu->linear_acceleration.x = acc.x();
  imu->linear_acceleration.y = acc.y();
  imu->linear_acceleration.z = acc.z();
  return imu;
}

/// One sample per tick over (first, last], all with the same rate and acceleration.
std::deque<ImuPtr> UniformSamples(
  int64_t first, int64_t last, const Eigen::Vector3d & gyr, const Eigen::Vector3d & acc)
{
  std::deque<ImuPtr> samples;
  for (int64_t t = first + 1; t <= last; ++t) {
    samples.push_back(MakeImu(t, gyr, acc));
  }
  return samples;
}

pcl::PointXYZINormal MakePoint(double x, double y, double z, float offset_ms, float intensity = 1.f)
{
  pcl::PointXYZINormal p;
  p.x = static_cast<float>(x);
  p.y = static_cast<float>(y);
  p.z = static_cast<float>(z);
  p.intensity = intensity;
  p.normal_x = 0.25f;
  p.normal_y = -0.5f;
  p.normal_z = 0.75f;
  p.curvature = offset_ms;
  return p;
}

CloudPtr MakeCloud(const std::vector<pcl::PointXYZINormal> & points)
{
  auto cloud = std::make_shared<Cloud>();
  for (const auto & p : points) {
    cloud->push_back(p);
  }
  cloud->header.frame_id = "livox_frame";
  cloud->header.stamp = 123456789;
  cloud->header.seq = 7;
  return cloud;
}

SyncedMeasurement MakeMeas(
  double beg, double end, CloudPtr scan, std::deque<ImuPtr> samples)
{
  SyncedMeasurement m;
  m.lidar_beg_time = beg;
  m.lidar_end_time = end;
  m.scan = std::move(scan);
  m.imu_samples = std::move(samples);
  return m;
}

double Seconds(const pcl::PointXYZINormal & p) {return static_cast<double>(p.curvature) / 1000.0;}

Eigen::Vector3d Xyz(const pcl::PointXYZINormal & p) {return Eigen::Vector3d(p.x, p.y, p.z);}

/// Collects every glog record for the lifetime of the object.
class LogCapture : public google::LogSink
{
public:
  struct Record
  {
    google::LogSeverity severity;
    std::string file;
    std::string text;
  };

  LogCapture() {google::AddLogSink(this);}
  ~LogCapture() override {google::RemoveLogSink(this);}

  using google::LogSink::send;
  void send(
    google::LogSeverity severity, const char *, const char * base_filename, int,
    const std::tm *, const char * message, size_t message_len) override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back({severity, base_filename, std::string(message, message_len)});
  }

  std::vector<Record> Errors() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Record> out;
    for (const auto & r : records_) {
      if (r.severity == google::GLOG_ERROR) {
        out.push_back(r);
      }
    }
    return out;
  }

private:
  mutable std::mutex mutex_;
  std::vector<Record> records_;
};

/// Pose record times (s from the scan start) for samples one tick apart: the start record at 0
/// and record j = 1..n at (j - gap)·h, integration having begun `gap` ticks before the scan start.
double RecordTime(int j, int gap) {return j == 0 ? 0.0 : (j - gap) * kTick;}

/// The record heading the interval that compensates a point at t (s): the newest record strictly
/// before t, the last record excepted; -1 when the point keeps its coordinates.
int HeadRecord(double t, int n, int gap = 0)
{
  for (int j = n - 1; j >= 0; --j) {
    if (RecordTime(j, gap) < t) {
      return j;
    }
  }
  return -1;
}

/// The second-order rotation increment about z for `angle` rad, as the complex number c + i·s
/// standing for the matrix [[c, -s], [s, c]] in x-y (z is left alone).
std::complex<double> ZIncrement(double angle) {return {1.0 - 0.5 * angle * angle, angle};}

std::complex<double> ZProduct(double angle, int count)
{
  std::complex<double> z(1.0, 0.0);
  for (int i = 0; i < count; ++i) {
    z *= ZIncrement(angle);
  }
  return z;
}

/// The second-order increment for a general rate, through the unnormalised quaternion
/// (1, ω·dt/2), a route independent of the matrix series.
Eigen::Matrix3d QuatIncrement(const Eigen::Vector3d & omega, double dt)
{
  const Eigen::Vector3d h = 0.5 * omega * dt;
  return Eigen::Quaterniond(1.0, h.x(), h.y(), h.z()).toRotationMatrix();
}

/// Expects `out` to be `in` (sorted by time) compensated for a turn at the constant rate w (rad/s)
/// about z, with n records laid out as RecordTime says and the end pose extrapolated by dt_end.
void ExpectTurnedAboutZ(
  const Cloud & out, const std::vector<pcl::PointXYZINormal> & in, double w, int n, int gap,
  double dt_end)
{
  ASSERT_EQ(out.size(), in.size());
  const std::complex<double> z_end = ZProduct(w * kTick, n) * ZIncrement(w * dt_end);
  for (size_t i = 0; i < in.size(); ++i) {
    SCOPED_TRACE(in[i].curvature);
    const auto & p = out.points[i];
    ASSERT_EQ(p.curvature, in[i].curvature);
    const double t = Seconds(in[i]);
    const int head = HeadRecord(t, n, gap);
    if (head < 0) {
      EXPECT_EQ(Xyz(p), Xyz(in[i]));
      continue;
    }
    const std::complex<double> expected = std::conj(z_end) * ZProduct(w * kTick, head) *
      ZIncrement(w * (t - RecordTime(head, gap))) * std::complex<double>(in[i].x, in[i].y);
    EXPECT_NEAR(p.x, expected.real(), 5e-6);
    EXPECT_NEAR(p.y, expected.imag(), 5e-6);
    EXPECT_NEAR(p.z, in[i].z, 5e-6);
  }
}

class IMUProcessTest : public ::testing::Test
{
protected:
  IMUProcessTest() {Access::set_log_clock(proc_, [this] {return log_now_;});}

  /// Initialises proc_ from a measurement that ends at `end_tick` with two samples: one at
  /// end_tick - 8 with acceleration mean - spread, one at end_tick with mean + spread and rate
  /// `last_gyr`. The mean acceleration is exactly `mean` for the values used here.
  void Initialise(
    int64_t end_tick, const Eigen::Vector3d & mean, const Eigen::Vector3d & last_gyr = kZero,
    const Eigen::Vector3d & spread = kZero)
  {
    auto meas = MakeMeas(
      TickSeconds(end_tick - 16), TickSeconds(end_tick), MakeCloud({MakePoint(1, 2, 3, 10.f)}),
      {MakeImu(end_tick - 8, kZero, mean - spread), MakeImu(end_tick, last_gyr, mean + spread)});
    Cloud out;
    ASSERT_FALSE(proc_.Process(meas, out));
    ASSERT_FALSE(Access::need_init(proc_));
    ASSERT_TRUE(out.empty());
  }

  IMUProcess proc_;
  LogCapture logs_;
  /// Clock of proc_'s rate-limited records; it only moves when a test moves it.
  sweepmend::LogThrottle::Clock::time_point log_now_{};
};

// ---------------------------------------------------------------------------------------------
// Initialisation and entry checks

TEST_F(IMUProcessTest, InitialisesGravityFromMeanAcceleration)
{
  auto s1 = MakeImu(kBase + 1, kZero, {0, 0, 1.0});
  auto s2 = MakeImu(kBase + 2, kZero, {0, 0, 1.2});
  auto s3 = MakeImu(kBase + 3, kZero, {0, 0, 0.8});
  auto scan = MakeCloud({MakePoint(1, 2, 3, 5.f), MakePoint(4, 5, 6, 1.f)});
  const auto meas = MakeMeas(TickSeconds(kBase), TickSeconds(kBase + 12), scan, {s1, s2, s3});

  Cloud out;
  out.push_back(MakePoint(9, 8, 7, 3.f));
  out.header.frame_id = "untouched";

  EXPECT_FALSE(proc_.Process(meas, out));

  const Eigen::Vector3d mean = Access::mean_acc(proc_);
  EXPECT_NEAR(mean.x(), 0.0, 1e-12);
  EXPECT_NEAR(mean.y(), 0.0, 1e-12);
  EXPECT_NEAR(mean.z(), 1.0, 1e-12);
  const Eigen::Vector3d g = Access::gravity(proc_);
  EXPECT_NEAR(g.x(), 0.0, 1e-12);
  EXPECT_NEAR(g.y(), 0.0, 1e-12);
  EXPECT_NEAR(g.z(), -9.81, 1e-12);
  EXPECT_FALSE(Access::need_init(proc_));
  EXPECT_EQ(Access::last_lidar_end_time(proc_), meas.lidar_end_time);
  EXPECT_EQ(Access::last_imu(proc_), s3);
  EXPECT_EQ(Access::meas(proc_).scan, scan);
  EXPECT_EQ(Access::meas(proc_).imu_samples.size(), 3u);

  // The initialising scan produces nothing: the caller's cloud is as it was.
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out.points[0].x, 9.f);
  EXPECT_EQ(out.header.frame_id, "untouched");
  EXPECT_TRUE(logs_.Errors().empty());
}

TEST_F(IMUProcessTest, SingleSampleGivesItsAccelerationAndGravityAgainstIt)
{
  auto s = MakeImu(kBase, kZero, {0.0, 3.0, 4.0});
  Cloud out;
  EXPECT_FALSE(
    proc_.Process(MakeMeas(TickSeconds(kBase - 8), TickSeconds(kBase), MakeCloud({}), {s}), out));

  EXPECT_EQ(Access::mean_acc(proc_), Eigen::Vector3d(0.0, 3.0, 4.0));
  // Length 9.81 against the measured direction (0, 0.6, 0.8).
  const Eigen::Vector3d g = Access::gravity(proc_);
  EXPECT_NEAR(g.x(), 0.0, 1e-12);
  EXPECT_NEAR(g.y(), -0.6 * 9.81, 1e-12);
  EXPECT_NEAR(g.z(), -0.8 * 9.81, 1e-12);
  EXPECT_EQ(Access::last_imu(proc_), s);
}

TEST_F(IMUProcessTest, MeasurementWithoutSamplesKeepsWaitingThenNextInitialises)
{
  auto first_scan = MakeCloud({MakePoint(1, 1, 1, 1.f)});
  Cloud out;
  out.push_back(MakePoint(5, 5, 5, 5.f));

  EXPECT_FALSE(proc_.Process(MakeMeas(1.0, 1.1, first_scan, {}), out));
  EXPECT_TRUE(Access::need_init(proc_));
  EXPECT_EQ(Access::meas(proc_).scan, first_scan);  // the copy is still taken
  EXPECT_EQ(Access::mean_acc(proc_), kZero);
  EXPECT_EQ(Access::last_imu(proc_), nullptr);
  EXPECT_EQ(Access::last_lidar_end_time(proc_), 0.0);
  EXPECT_EQ(out.size(), 1u);

  auto s = MakeImu(kBase, kZero, {0, 0, 9.81});
  EXPECT_FALSE(
    proc_.Process(MakeMeas(TickSeconds(kBase - 8), TickSeconds(kBase), first_scan, {s}), out));
  EXPECT_FALSE(Access::need_init(proc_));
  EXPECT_EQ(Access::mean_acc(proc_), Eigen::Vector3d(0, 0, 9.81));
  EXPECT_EQ(Access::last_imu(proc_), s);

  // Once initialised, a measurement without samples still replaces the copy and nothing else.
  auto later_scan = MakeCloud({MakePoint(2, 2, 2, 2.f)});
  EXPECT_FALSE(proc_.Process(MakeMeas(200.0, 200.1, later_scan, {}), out));
  EXPECT_EQ(Access::meas(proc_).scan, later_scan);
  EXPECT_EQ(Access::meas(proc_).lidar_end_time, 200.1);
  EXPECT_EQ(Access::last_imu(proc_), s);
  EXPECT_EQ(Access::last_lidar_end_time(proc_), TickSeconds(kBase));
  EXPECT_EQ(out.size(), 1u);
  EXPECT_TRUE(logs_.Errors().empty());
}

TEST_F(IMUProcessTest, NonFiniteTimesChangeNothingBeforeAndAfterInitialisation)
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  auto s = MakeImu(kBase, kZero, {0, 0, 1});
  auto scan = MakeCloud({MakePoint(1, 2, 3, 4.f)});
  Cloud out;
  out.push_back(MakePoint(5, 5, 5, 5.f));

  auto expect_refused = [&](double beg, double end, const SyncedMeasurement & held) {
      const size_t before = logs_.Errors().size();
      const auto last_imu = Access::last_imu(proc_);
      const double last_end = Access::last_lidar_end_time(proc_);
      const bool need_init = Access::need_init(proc_);

      EXPECT_FALSE(proc_.Process(MakeMeas(beg, end, scan, {s}), out));

      const auto errors = logs_.Errors();
      ASSERT_EQ(errors.size(), before + 1);
      EXPECT_EQ(errors.back().text, "lidar_beg_time and lidar_end_time must be finite values");
      EXPECT_EQ(errors.back().file, "imu_process.cpp");
      EXPECT_EQ(Access::meas(proc_).scan, held.scan);
      EXPECT_EQ(Access::meas(proc_).lidar_end_time, held.lidar_end_time);
      EXPECT_EQ(Access::meas(proc_).imu_samples.size(), held.imu_samples.size());
      EXPECT_EQ(Access::last_imu(proc_), last_imu);
      EXPECT_EQ(Access::last_lidar_end_time(proc_), last_end);
      EXPECT_EQ(Access::need_init(proc_), need_init);
      EXPECT_EQ(out.size(), 1u);
    };

  {
    SCOPED_TRACE("before initialisation");
    expect_refused(1.0, nan, SyncedMeasurement{});
    expect_refused(inf, 1.0, SyncedMeasurement{});
    EXPECT_TRUE(Access::need_init(proc_));
    EXPECT_EQ(Access::mean_acc(proc_), kZero);
  }

  const auto init = MakeMeas(TickSeconds(kBase - 8), TickSeconds(kBase), scan, {s});
  ASSERT_FALSE(proc_.Process(init, out));
  ASSERT_FALSE(Access::need_init(proc_));
  {
    SCOPED_TRACE("after initialisation");
    expect_refused(TickSeconds(kBase), nan, init);
    expect_refused(inf, TickSeconds(kBase + 16), init);
    expect_refused(-inf, TickSeconds(kBase + 16), init);
  }
}

TEST_F(IMUProcessTest, RefusesUnusableMeanAccelerationAndRetriesWithNextMeasurement)
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  Cloud out;
  out.push_back(MakePoint(5, 5, 5, 5.f));

  const std::vector<std::deque<ImuPtr>> unusable = {
    // Equal and opposite: the running mean is exactly zero.
    {MakeImu(kBase - 4, kZero, {0, 0, 1}), MakeImu(kBase, kZero, {0, 0, -1})},
    {MakeImu(kBase, kZero, {0, 0, 0})},
    {MakeImu(kBase - 4, kZero, {0, 0, 1}), MakeImu(kBase, kZero, {nan, 0, 1})},
    {MakeImu(kBase, kZero, {0, inf, 9.81})},
  };
  const std::vector<std::string> norms = {"0", "0", "nan", "inf"};
  size_t expected_errors = 0;
  for (size_t i = 0; i < unusable.size(); ++i) {
    SCOPED_TRACE(i);
    auto scan = MakeCloud({MakePoint(1, 2, 3, 4.f)});
    // A second apart, so that each refusal is reported.
    log_now_ += std::chrono::seconds(1);
    EXPECT_FALSE(
      proc_.Process(MakeMeas(TickSeconds(kBase - 8), TickSeconds(kBase), scan, unusable[i]), out));
    ++expected_errors;
    const auto errors = logs_.Errors();
    ASSERT_EQ(errors.size(), expected_errors);
    EXPECT_EQ(
      errors.back().text,
      "mean acceleration at initialisation is near zero or not finite (norm " + norms[i] +
      "), waiting for the next measurement");
    EXPECT_TRUE(Access::need_init(proc_));
    EXPECT_EQ(Access::mean_acc(proc_), kZero);
    EXPECT_EQ(Access::gravity(proc_), kZero);
    EXPECT_EQ(Access::last_imu(proc_), nullptr);
    EXPECT_EQ(Access::last_lidar_end_time(proc_), 0.0);
    EXPECT_EQ(Access::meas(proc_).scan, scan);
    EXPECT_EQ(out.size(), 1u);
  }

  // The running mean starts afresh: only the new measurement's samples count.
  auto s1 = MakeImu(kBase + 12, kZero, {0, 0, 2.0});
  auto s2 = MakeImu(kBase + 16, kZero, {0, 0, 4.0});
  EXPECT_FALSE(proc_.Process(
      MakeMeas(TickSeconds(kBase), TickSeconds(kBase + 16), MakeCloud({}), {s1, s2}), out));
  EXPECT_FALSE(Access::need_init(proc_));
  EXPECT_EQ(Access::mean_acc(proc_), Eigen::Vector3d(0, 0, 3.0));
  EXPECT_EQ(Access::gravity(proc_), Eigen::Vector3d(0, 0, -9.81));
  EXPECT_EQ(Access::last_imu(proc_), s2);
  EXPECT_EQ(Access::last_lidar_end_time(proc_), TickSeconds(kBase + 16));
  EXPECT_EQ(logs_.Errors().size(), expected_errors);
}

TEST_F(IMUProcessTest, RefusesNearZeroMeanAccelerationAndRetries)
{
  // A mean of norm 1e-6 has no direction to trust, and accepting it would scale every later
  // acceleration by 9.81e6: a sensor at rest would seem to fly off.
  Cloud out;
  const auto tiny = MakeMeas(
    TickSeconds(kBase - 8), TickSeconds(kBase), MakeCloud({MakePoint(1, 2, 3, 4.f)}),
    {MakeImu(kBase - 4, kZero, {0, 1e-6, 0}), MakeImu(kBase, kZero, {0, 0, 1e-6})});
  EXPECT_FALSE(proc_.Process(tiny, out));
  EXPECT_TRUE(Access::need_init(proc_));
  EXPECT_EQ(Access::mean_acc(proc_), kZero);
  EXPECT_EQ(Access::gravity(proc_), kZero);
  EXPECT_EQ(Access::last_imu(proc_), nullptr);
  ASSERT_EQ(logs_.Errors().size(), 1u);
  EXPECT_EQ(logs_.Errors()[0].file, "imu_process.cpp");

  // A norm of exactly 1e-3 is accepted; at that scale the sample at rest reads zero motion.
  const auto s = MakeImu(kBase + 16, kZero, {0, 0, 1e-3});
  EXPECT_FALSE(proc_.Process(
      MakeMeas(TickSeconds(kBase), TickSeconds(kBase + 16), MakeCloud({}), {s}), out));
  EXPECT_FALSE(Access::need_init(proc_));
  EXPECT_EQ(Access::gravity(proc_), Eigen::Vector3d(0, 0, -9.81));
  EXPECT_EQ(logs_.Errors().size(), 1u);
}

TEST_F(IMUProcessTest, InitialisesOnlyOnce)
{
  Initialise(kBase, {0, 0, 1.0});
  for (int scan_index = 0; scan_index < 3; ++scan_index) {
    SCOPED_TRACE(scan_index);
    const int64_t beg = kBase + 16 * scan_index;
    // A different acceleration level would give a different gravity if it re-initialised.
    auto meas = MakeMeas(
      TickSeconds(beg), TickSeconds(beg + 16), MakeCloud({MakePoint(1, 2, 3, 50.f)}),
      UniformSamples(beg, beg + 16, kZero, {0, 0, 2.0}));
    Cloud out;
    EXPECT_TRUE(proc_.Process(meas, out));
    EXPECT_EQ(out.size(), 1u);
    EXPECT_FALSE(Access::need_init(proc_));
    EXPECT_EQ(Access::mean_acc(proc_), Eigen::Vector3d(0, 0, 1.0));
    EXPECT_EQ(Access::gravity(proc_), Eigen::Vector3d(0, 0, -9.81));
    EXPECT_EQ(Access::last_lidar_end_time(proc_), TickSeconds(beg + 16));
    EXPECT_EQ(Access::last_imu(proc_), meas.imu_samples.back());
  }
}

// ---------------------------------------------------------------------------------------------
// Compensation

TEST_F(IMUProcessTest, AtRestPointsStayPutForOrthonormalExtrinsics)
{
  // Tilted IMU at rest, reporting in m/s².
  const Eigen::Vector3d rest(0.12, -0.3, 9.79);
  struct Extrinsic
  {
    const char * name;
    Eigen::Vector3d t;
    Eigen::Matrix3d r;
  };
  const std::vector<Extrinsic> extrinsics = {
    {"identity", kZero, Eigen::Matrix3d::Identity()},
    {"rotated and offset", Eigen::Vector3d(0.3, -0.12, 0.05),
      Eigen::AngleAxisd(2.1, Eigen::Vector3d(1, -2, 0.5).normalized()).toRotationMatrix()},
  };

  for (const auto & ext : extrinsics) {
    SCOPED_TRACE(ext.name);
    IMUProcess proc;
    proc.SetExtrinsic(ext.t, ext.r);
    Cloud out;
    ASSERT_FALSE(proc.Process(
        MakeMeas(TickSeconds(kBase - 16), TickSeconds(kBase), MakeCloud({}),
        UniformSamples(kBase - 16, kBase, kZero, rest)), out));

    // Distinct offsets in scrambled order, all after the scan start.
    std::vector<pcl::PointXYZINormal> points;
    for (int i = 0; i < 60; ++i) {
      const int slot = (i * 37) % 60;
      points.push_back(
        MakePoint(
          3.0 + 0.1 * i, -2.0 + 0.05 * i, 0.5 - 0.02 * i, 0.5f + 2.0f * static_cast<float>(slot),
          static_cast<float>(i)));
    }
    const auto scan = MakeCloud(points);
    const auto meas = MakeMeas(
      TickSeconds(kBase), TickSeconds(kBase + 16), scan,
      UniformSamples(kBase, kBase + 16, kZero, rest));

    ASSERT_TRUE(proc.Process(meas, out));
    ASSERT_EQ(out.size(), points.size());
    EXPECT_EQ(out.header.frame_id, scan->header.frame_id);
    EXPECT_EQ(out.header.stamp, scan->header.stamp);
    EXPECT_EQ(out.header.seq, scan->header.seq);
    EXPECT_EQ(out.width, scan->width);
    EXPECT_EQ(out.height, scan->height);
    EXPECT_TRUE(
      std::is_sorted(
        out.points.begin(), out.points.end(),
        [](const auto & a, const auto & b) {return a.curvature < b.curvature;}));

    std::map<float, pcl::PointXYZINormal> by_offset;
    for (const auto & p : points) {
      by_offset[p.curvature] = p;
    }
    for (const auto & p : out.points) {
      const auto & in = by_offset.at(p.curvature);
      EXPECT_NEAR(p.x, in.x, 1e-5);
      EXPECT_NEAR(p.y, in.y, 1e-5);
      EXPECT_NEAR(p.z, in.z, 1e-5);
      EXPECT_EQ(p.intensity, in.intensity);
      EXPECT_EQ(p.normal_x, in.normal_x);
      EXPECT_EQ(p.normal_z, in.normal_z);
    }
    // The measurement's own scan is only read, never reordered.
    for (size_t i = 0; i < points.size(); ++i) {
      EXPECT_EQ(scan->points[i].curvature, points[i].curvature);
    }
  }
}

TEST_F(IMUProcessTest, ConstantRotationAboutZMapsPointsThroughAccumulatedAttitude)
{
  const double w = 1.7;  // rad/s about z
  const Eigen::Vector3d rest(0, 0, 9.81);
  // The initialising measurement's last sample already turns, so every interval has rate w.
  Initialise(kBase, rest, {0, 0, w});

  // Offsets on both sides of the scan start, on record times (7.8125, 31.25 and 101.5625 ms) and
  // past the last record; samples stop two ticks before the scan end, so the end pose is
  // extrapolated over that gap.
  const int n = 14;
  const std::vector<float> offsets_ms = {
    -3.f, 0.f, 0.5f, 7.8125f, 11.f, 31.25f, 50.f, 77.f, 101.5625f, 110.f, 117.f, 124.f, 125.f};
  std::vector<pcl::PointXYZINormal> sorted;
  for (size_t i = 0; i < offsets_ms.size(); ++i) {
    const double k = static_cast<double>(i);
    sorted.push_back(MakePoint(4.0 + k, 2.5 - 0.7 * k, 0.3 * k, offsets_ms[i]));
  }
  const std::vector<pcl::PointXYZINormal> reversed(sorted.rbegin(), sorted.rend());
  const auto meas = MakeMeas(
    TickSeconds(kBase), TickSeconds(kBase + 16), MakeCloud(reversed),
    UniformSamples(kBase, kBase + n, {0, 0, w}, rest));

  Cloud out;
  ASSERT_TRUE(proc_.Process(meas, out));
  ExpectTurnedAboutZ(out, sorted, w, n, 0, 2.0 * kTick);
}

TEST_F(IMUProcessTest, RatesAndAccelerationsAreAveragedOverEachInterval)
{
  // The z rate ramps up from sample to sample; the accelerations alternate about the rest value,
  // so each interval's mean acceleration is exactly at rest and only the mean rates turn the pose.
  const Eigen::Vector3d rest(0, 0, 9.81);
  const Eigen::Vector3d d(0.5, -0.75, 0.25);
  auto rate = [](int j) {return 0.5 + 0.1 * j;};
  Initialise(kBase, rest, {0, 0, rate(0)}, d);

  const int n = 16;
  std::deque<ImuPtr> samples;
  for (int j = 1; j <= n; ++j) {
    const Eigen::Vector3d acc = j % 2 ? Eigen::Vector3d(rest - d) : Eigen::Vector3d(rest + d);
    samples.push_back(MakeImu(kBase + j, {0, 0, rate(j)}, acc));
  }
  std::vector<pcl::PointXYZINormal> points = {
    MakePoint(4, 1, 0.5, 6.f), MakePoint(4, 0, -0.5, 45.f), MakePoint(3, -2, 0, 99.f),
    MakePoint(2, -3, 1, 125.f)};
  const auto meas =
    MakeMeas(TickSeconds(kBase), TickSeconds(kBase + n), MakeCloud(points), samples);

  Cloud out;
  ASSERT_TRUE(proc_.Process(meas, out));
  ASSERT_EQ(out.size(), points.size());

  // record_z[j]: attitude at record j as a complex number; interval j turns at the mean rate.
  auto mean_rate = [&](int j) {return 0.5 * (rate(j - 1) + rate(j));};
  std::vector<std::complex<double>> record_z(1, 1.0);
  for (int j = 1; j <= n; ++j) {
    record_z.push_back(record_z.back() * ZIncrement(mean_rate(j) * kTick));
  }
  for (size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE(points[i].curvature);
    const double t = Seconds(points[i]);
    const int head = HeadRecord(t, n);
    const std::complex<double> expected = std::conj(record_z[n]) * record_z[head] *
      ZIncrement(mean_rate(head + 1) * (t - head * kTick)) *
      std::complex<double>(points[i].x, points[i].y);
    EXPECT_NEAR(out.points[i].x, expected.real(), 5e-6);
    EXPECT_NEAR(out.points[i].y, expected.imag(), 5e-6);
    EXPECT_NEAR(out.points[i].z, points[i].z, 5e-6);
  }
}

TEST_F(IMUProcessTest, ConstantAccelerationUsesOlderPairAtExactRecordTimes)
{
  // Corrected acceleration a in every interval, no rotation. With records at j·h the forward pass
  // gives v_j = j·a·h and p_j = a·h²·j(j-1)/2; a point at t with head record j moves by
  // p_j + v_j·dt + a·dt²/2 - p_end, dt = t - j·h.
  // The IMU reports in units of standard gravity: a sample of rest + d stands for 9.81·d m/s².
  const Eigen::Vector3d rest(0, 0, 1.0);
  const Eigen::Vector3d d(0.5, -0.25, 0.0);
  const Eigen::Vector3d a = 9.81 * d;
  Initialise(kBase, rest, kZero, d);

  const int n = 16;
  // 39.0625 ms is exactly record 5's time and 62.5 ms record 8's: the older pair must handle them.
  const std::vector<float> offsets_ms = {
    -10.f, 0.f, 1.f, 39.0625f, 47.f, 62.5f, 90.f, 124.f, 125.f, 131.f};
  std::vector<pcl::PointXYZINormal> points;
  for (size_t i = 0; i < offsets_ms.size(); ++i) {
    points.push_back(MakePoint(1.0 + 0.1 * static_cast<double>(i), -1.5, 0.8, offsets_ms[i]));
  }
  const auto meas = MakeMeas(
    TickSeconds(kBase), TickSeconds(kBase + n), MakeCloud(points),
    UniformSamples(kBase, kBase + n, kZero, rest + d));

  Cloud out;
  ASSERT_TRUE(proc_.Process(meas, out));
  ASSERT_EQ(out.size(), points.size());

  const double h = kTick;
  const Eigen::Vector3d p_end = a * h * h * n * (n - 1) / 2.0;
  for (size_t i = 0; i < out.size(); ++i) {
    const auto & p = out.points[i];
    const auto & in = points[i];  // the input is already in time order
    SCOPED_TRACE(in.curvature);
    ASSERT_EQ(p.curvature, in.curvature);
    const double t = Seconds(in);
    if (t <= 0.0) {
      EXPECT_EQ(Xyz(p), Xyz(in));
      continue;
    }
    const int j = HeadRecord(t, n);
    const double dt = t - j * h;
    const Eigen::Vector3d moved =
      a * h * h * j * (j - 1) / 2.0 + a * (j * h) * dt + 0.5 * a * dt * dt - p_end;
    const Eigen::Vector3d expected = Xyz(in) + moved;
    EXPECT_NEAR(p.x, expected.x(), 2e-6);
    EXPECT_NEAR(p.y, expected.y(), 2e-6);
    EXPECT_NEAR(p.z, expected.z(), 2e-6);
  }
}

TEST_F(IMUProcessTest, TurningWhileAcceleratingIntegratesVelocityInBodyFrame)
{
  // Rate w about z and a constant corrected acceleration a (body frame) in every interval. The
  // forward pass advances velocity with the body-frame a and position with the old velocity only,
  // while each record keeps a turned by the attitude at the interval start; the backward pass
  // adds half that turned acceleration times dt².
  const double w = 0.9;
  const Eigen::Vector3d rest(0, 0, 1.0);  // in g
  const Eigen::Vector3d d(0.3, 0.2, 0.0);
  const Eigen::Vector3d a = 9.81 * d;
  Initialise(kBase, rest, {0, 0, w}, d);

  // Samples stop two ticks before the scan end.
  const int n = 14;
  const double h = kTick;
  const std::vector<float> offsets_ms = {2.f, 15.625f, 33.f, 70.f, 108.f, 121.f};
  std::vector<pcl::PointXYZINormal> points;
  for (size_t i = 0; i < offsets_ms.size(); ++i) {
    const double k = static_cast<double>(i);
    points.push_back(MakePoint(5.0 - k, 1.0 + 0.5 * k, -0.4, offsets_ms[i]));
  }
  const auto meas = MakeMeas(
    TickSeconds(kBase), TickSeconds(kBase + 16), MakeCloud(points),
    UniformSamples(kBase, kBase + n, {0, 0, w}, rest + d));

  Cloud out;
  ASSERT_TRUE(proc_.Process(meas, out));
  ASSERT_EQ(out.size(), points.size());

  auto z_matrix = [](std::complex<double> z) {
      Eigen::Matrix3d m;
      m << z.real(), -z.imag(), 0.0, z.imag(), z.real(), 0.0, 0.0, 0.0, 1.0;
      return m;
    };
  auto vel = [&](int j) -> Eigen::Vector3d {return a * (j * h);};
  auto pos = [&](int j) -> Eigen::Vector3d {return a * (h * h * j * (j - 1) / 2.0);};
  const Eigen::Matrix3d r_end = z_matrix(ZProduct(w * h, n) * ZIncrement(w * 2.0 * h));
  const Eigen::Vector3d p_end = pos(n) + vel(n) * (2.0 * h);
  for (size_t i = 0; i < out.size(); ++i) {
    SCOPED_TRACE(points[i].curvature);
    const double t = Seconds(points[i]);
    const int j = HeadRecord(t, n);
    const double dt = t - j * h;
    const Eigen::Matrix3d r_head = z_matrix(ZProduct(w * h, j));
    const Eigen::Matrix3d r_i = r_head * z_matrix(ZIncrement(w * dt));
    const Eigen::Vector3d p_i = pos(j) + vel(j) * dt + 0.5 * (r_head * a) * dt * dt;
    const Eigen::Vector3d expected = r_end.transpose() * (r_i * Xyz(points[i]) + p_i - p_end);
    EXPECT_NEAR(out.points[i].x, expected.x(), 5e-6);
    EXPECT_NEAR(out.points[i].y, expected.y(), 5e-6);
    EXPECT_NEAR(out.points[i].z, expected.z(), 5e-6);
  }
}

TEST_F(IMUProcessTest, IntervalAcrossPreviousScanEndCountsOnlyFromThatEnd)
{
  // The previous scan's last sample lies three ticks before that scan's end, so the first
  // interval here spans four ticks of which only the last one is new. A point before the first
  // record sees that interval alone, so its length shows.
  const double w = 2.2;
  const Eigen::Vector3d rest(0, 0, 9.81);
  auto init = MakeMeas(
    TickSeconds(kBase - 16), TickSeconds(kBase), MakeCloud({}),
    {MakeImu(kBase - 8, kZero, rest), MakeImu(kBase - 3, {0, 0, w}, rest)});
  Cloud out;
  ASSERT_FALSE(proc_.Process(init, out));

  const int n = 16;
  std::vector<pcl::PointXYZINormal> points = {
    MakePoint(3, 1, 0, 5.f), MakePoint(3, 0, 1, 60.f), MakePoint(2, -2, 0, 125.f)};
  const auto meas = MakeMeas(
    TickSeconds(kBase), TickSeconds(kBase + n), MakeCloud(points),
    UniformSamples(kBase, kBase + n, {0, 0, w}, rest));
  ASSERT_TRUE(proc_.Process(meas, out));
  ExpectTurnedAboutZ(out, points, w, n, 0, 0.0);
}

TEST_F(IMUProcessTest, ScanAfterGapIntegratesFromPreviousEndWithTimesFromItsOwnStart)
{
  // A scan went missing: this one starts four ticks after the previous scan's end. Integration
  // still starts at the previous end, so records 1..3 lie before this scan's start and points at
  // or before the start are moved as well.
  const double w = 1.4;
  const Eigen::Vector3d rest(0, 0, 9.81);
  Initialise(kBase, rest, {0, 0, w});

  const int gap = 4;
  const int n = 20;
  std::vector<pcl::PointXYZINormal> points = {
    MakePoint(3, 2, 0, -10.f), MakePoint(3, 1, 0, 0.f), MakePoint(3, 0, 1, 30.f),
    MakePoint(2, -2, 0, 124.f)};
  const auto meas = MakeMeas(
    TickSeconds(kBase + gap), TickSeconds(kBase + n), MakeCloud(points),
    UniformSamples(kBase, kBase + n, {0, 0, w}, rest));
  Cloud out;
  ASSERT_TRUE(proc_.Process(meas, out));
  ExpectTurnedAboutZ(out, points, w, n, gap, 0.0);
}

TEST_F(IMUProcessTest, IntervalEndingExactlyAtPreviousScanEndIsKept)
{
  // The only new sample carries the previous scan's end stamp: its interval has zero length but
  // is still a record, and its rate turns the pose out to this scan's end.
  const double w = 1.1;
  const Eigen::Vector3d rest(0, 0, 9.81);
  Initialise(kBase, rest, {0, 0, w});

  const int64_t end = kBase + 16;
  std::vector<pcl::PointXYZINormal> points = {
    MakePoint(4, 1, 0, 20.f), MakePoint(4, -1, 0.5, 90.f)};
  const auto meas = MakeMeas(
    TickSeconds(kBase), TickSeconds(end), MakeCloud(points), {MakeImu(kBase, {0, 0, w}, rest)});
  Cloud out;
  ASSERT_TRUE(proc_.Process(meas, out));
  ASSERT_EQ(out.size(), points.size());

  const std::complex<double> z_end = ZIncrement(w * 16 * kTick);
  for (size_t i = 0; i < points.size(); ++i) {
    const std::complex<double> expected = std::conj(z_end) * ZIncrement(w * Seconds(points[i])) *
      std::complex<double>(points[i].x, points[i].y);
    EXPECT_NEAR(out.points[i].x, expected.real(), 5e-6);
    EXPECT_NEAR(out.points[i].y, expected.imag(), 5e-6);
    EXPECT_NEAR(out.points[i].z, points[i].z, 5e-6);
  }
}

TEST_F(IMUProcessTest, LastSampleAfterScanEndExtrapolatesForwardByTheGap)
{
  const Eigen::Vector3d omega(0.4, -0.7, 1.1);
  const Eigen::Vector3d rest(0, 0, 9.81);
  Initialise(kBase, rest, omega);

  // Samples run three ticks past the scan end.
  const int n = 19;
  const std::vector<float> offsets_ms = {3.f, 40.f, 88.f, 120.f, 125.f};
  std::vector<pcl::PointXYZINormal> points;
  for (size_t i = 0; i < offsets_ms.size(); ++i) {
    points.push_back(MakePoint(6.0, -3.0 + static_cast<double>(i), 1.5, offsets_ms[i]));
  }
  const auto meas = MakeMeas(
    TickSeconds(kBase), TickSeconds(kBase + 16), MakeCloud(points),
    UniformSamples(kBase, kBase + n, omega, rest));

  Cloud out;
  ASSERT_TRUE(proc_.Process(meas, out));
  ASSERT_EQ(out.size(), points.size());

  const Eigen::Matrix3d step = QuatIncrement(omega, kTick);
  std::vector<Eigen::Matrix3d> record_rot(1, Eigen::Matrix3d::Identity());
  for (int j = 1; j <= n; ++j) {
    record_rot.push_back(record_rot.back() * step);
  }
  const Eigen::Matrix3d r_end = record_rot[n] * QuatIncrement(omega, 3 * kTick);
  for (size_t i = 0; i < out.size(); ++i) {
    SCOPED_TRACE(points[i].curvature);
    const double t = Seconds(points[i]);
    const int j = HeadRecord(t, n);
    const Eigen::Matrix3d r_i = record_rot[j] * QuatIncrement(omega, t - j * kTick);
    const Eigen::Vector3d expected = r_end.transpose() * r_i * Xyz(points[i]);
    EXPECT_NEAR(out.points[i].x, expected.x(), 5e-6);
    EXPECT_NEAR(out.points[i].y, expected.y(), 5e-6);
    EXPECT_NEAR(out.points[i].z, expected.z(), 5e-6);
  }
  EXPECT_EQ(Access::last_lidar_end_time(proc_), TickSeconds(kBase + 16));
  EXPECT_EQ(Access::last_imu(proc_), meas.imu_samples.back());
}

TEST_F(IMUProcessTest, TimeJumpBackwardsLeavesScanUnmovedThenIntegratesNormally)
{
  const double w = -1.3;
  const Eigen::Vector3d rest(0, 0, 9.81);
  Initialise(kBase + 16, rest, {0, 0, w});

  // The recording restarts 50 s earlier: every interval ends before the last scan end.
  const int64_t beg = kBase / 2;
  std::vector<pcl::PointXYZINormal> points = {
    MakePoint(1, 2, 3, 90.f), MakePoint(4, 5, 6, 10.f), MakePoint(7, 8, 9, 50.f),
    MakePoint(-1, -2, -3, 120.f)};
  const auto jumped = MakeMeas(
    TickSeconds(beg), TickSeconds(beg + 16), MakeCloud(points),
    UniformSamples(beg, beg + 16, {0, 0, w}, rest));

  Cloud out;
  ASSERT_TRUE(proc_.Process(jumped, out));
  std::vector<pcl::PointXYZINormal> sorted = {points[1], points[2], points[0], points[3]};
  ASSERT_EQ(out.size(), sorted.size());
  for (size_t i = 0; i < sorted.size(); ++i) {
    EXPECT_EQ(out.points[i].curvature, sorted[i].curvature);
    EXPECT_EQ(Xyz(out.points[i]), Xyz(sorted[i]));
  }
  EXPECT_EQ(Access::last_lidar_end_time(proc_), TickSeconds(beg + 16));
  EXPECT_EQ(Access::last_imu(proc_), jumped.imu_samples.back());

  // The following scan starts where the restarted one ended and turns at rate w throughout.
  const auto next = MakeMeas(
    TickSeconds(beg + 16), TickSeconds(beg + 32), MakeCloud(sorted),
    UniformSamples(beg + 16, beg + 32, {0, 0, w}, rest));
  ASSERT_TRUE(proc_.Process(next, out));
  ExpectTurnedAboutZ(out, sorted, w, 16, 0, 0.0);
}

TEST_F(IMUProcessTest, EmptyScanAfterPropagationGivesEmptyCopyAndFalse)
{
  Initialise(kBase, {0, 0, 1.0});
  auto scan = MakeCloud({});
  const auto meas = MakeMeas(
    TickSeconds(kBase), TickSeconds(kBase + 16), scan,
    UniformSamples(kBase, kBase + 16, {0, 0, 0.5}, {0, 0, 1.0}));

  Cloud out;
  out.push_back(MakePoint(1, 1, 1, 1.f));
  out.header.frame_id = "stale";
  EXPECT_FALSE(proc_.Process(meas, out));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(out.header.frame_id, "livox_frame");
  EXPECT_EQ(out.header.stamp, scan->header.stamp);
  EXPECT_EQ(Access::last_lidar_end_time(proc_), TickSeconds(kBase + 16));
  EXPECT_EQ(Access::last_imu(proc_), meas.imu_samples.back());
}

TEST_F(IMUProcessTest, NanCoordinateIsReportedPerPointAndStillSucceeds)
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Eigen::Vector3d rest(0, 0, 9.81);
  Initialise(kBase, rest);
  const auto meas = MakeMeas(
    TickSeconds(kBase), TickSeconds(kBase + 16),
    MakeCloud({MakePoint(nan, 1, 2, 10.f), MakePoint(1, 2, 3, 20.f), MakePoint(2, nan, 1, 30.f)}),
    UniformSamples(kBase, kBase + 16, kZero, rest));

  Cloud out;
  EXPECT_TRUE(proc_.Process(meas, out));
  ASSERT_EQ(out.size(), 3u);
  EXPECT_TRUE(std::isnan(out.points[0].x));
  EXPECT_TRUE(std::isnan(out.points[2].y));
  EXPECT_NEAR(out.points[1].x, 1.0, 1e-6);
  EXPECT_NEAR(out.points[1].y, 2.0, 1e-6);
  EXPECT_NEAR(out.points[1].z, 3.0, 1e-6);

  // The second NaN point of the scan falls within the same second as the first: one record,
  // and the next one, a second later, counts it.
  ASSERT_EQ(logs_.Errors().size(), 1u);
  log_now_ += std::chrono::seconds(1);
  Cloud again;
  EXPECT_TRUE(proc_.Process(meas, again));
  const std::string prefix = "P_compensate resulted in NaN: ";
  const auto errors = logs_.Errors();
  ASSERT_EQ(errors.size(), 2u);
  const std::string note = " (1 similar suppressed since the last report)";
  EXPECT_EQ(errors[0].text.find(" suppressed "), std::string::npos) << errors[0].text;
  ASSERT_GE(errors[1].text.size(), note.size());
  EXPECT_EQ(errors[1].text.substr(errors[1].text.size() - note.size()), note) << errors[1].text;
  for (const auto & e : errors) {
    ASSERT_EQ(e.text.compare(0, prefix.size(), prefix), 0) << e.text;
    // Eigen's column-vector format: one component per line.
    std::istringstream rest_of_text(e.text.substr(prefix.size()));
    std::string line;
    int lines = 0;
    bool saw_nan = false;
    while (std::getline(rest_of_text, line)) {
      ++lines;
      saw_nan = saw_nan || line.find("nan") != std::string::npos;
    }
    EXPECT_EQ(lines, 3) << e.text;
    EXPECT_TRUE(saw_nan) << e.text;
  }
}

// A vertical wall at x = 5 m scanned by a LiDAR mounted with a rotated and offset extrinsic on an
// IMU that turns about the vertical at a constant rate: the raw scan is bent, the compensated one
// must be flat and match the wall as seen from the end pose.
TEST_F(IMUProcessTest, WallScannedWhileTurningComesOutFlat)
{
  const double w = 1.5;  // rad/s about z, the gravity axis, so the measured acceleration stays put
  const Eigen::Vector3d rest(0, 0, 9.81);
  const Eigen::Matrix3d r_e =
    Eigen::AngleAxisd(0.4, Eigen::Vector3d(1, 2, 3).normalized()).toRotationMatrix();
  const Eigen::Vector3d t_e(0.2, -0.1, 0.05);
  proc_.SetExtrinsic(t_e, r_e);
  Initialise(kBase, rest, {0, 0, w});

  const int n = 16;
  const double scan_time = n * kTick;
  auto attitude = [&](double t) {
      return Eigen::AngleAxisd(w * t, Eigen::Vector3d::UnitZ()).toRotationMatrix();
    };

  const int count = 600;
  std::vector<pcl::PointXYZINormal> raw;
  std::vector<Eigen::Vector3d> truth_at_end;  // exact LiDAR-frame coordinates at the scan end
  for (int k = 0; k < count; ++k) {
    const float offset_ms = static_cast<float>(1000.0 * scan_time * (k + 1) / count);
    const double t = static_cast<double>(offset_ms) / 1000.0;
    const double az = -0.7 + 1.4 * k / count;
    const double el = 0.25 * ((k % 3) - 1);
    // Beam fixed in the LiDAR frame, pointing at the wall at the scan start.
    const Eigen::Vector3d dir_start(
      std::cos(el) * std::cos(az), std::cos(el) * std::sin(az), std::sin(el));
    const Eigen::Vector3d beam = r_e.transpose() * dir_start;
    const Eigen::Matrix3d r = attitude(t);
    const Eigen::Vector3d origin = r * t_e;
    const Eigen::Vector3d dir = r * r_e * beam;
    const Eigen::Vector3d hit = origin + (5.0 - origin.x()) / dir.x() * dir;
    const Eigen::Vector3d seen = r_e.transpose() * (r.transpose() * hit - t_e);
    raw.push_back(MakePoint(seen.x(), seen.y(), seen.z(), offset_ms));
    truth_at_end.push_back(r_e.transpose() * (attitude(scan_time).transpose() * hit - t_e));
  }
  const auto meas = MakeMeas(
    TickSeconds(kBase), TickSeconds(kBase + n), MakeCloud(raw),
    UniformSamples(kBase, kBase + n, {0, 0, w}, rest));

  Cloud out;
  ASSERT_TRUE(proc_.Process(meas, out));
  ASSERT_EQ(out.size(), raw.size());

  // RMS distance to the best-fitting plane.
  auto flatness = [](const std::vector<Eigen::Vector3d> & pts) {
      Eigen::Vector3d mean = Eigen::Vector3d::Zero();
      for (const auto & p : pts) {
        mean += p;
      }
      mean /= static_cast<double>(pts.size());
      Eigen::Matrix3d cov = Eigen::Matrix3d::Zero();
      for (const auto & p : pts) {
        cov += (p - mean) * (p - mean).transpose();
      }
      cov /= static_cast<double>(pts.size());
      Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(cov);
      return std::sqrt(std::max(0.0, solver.eigenvalues()(0)));
    };
  std::vector<Eigen::Vector3d> raw_xyz;
  std::vector<Eigen::Vector3d> out_xyz;
  double worst = 0.0;
  for (int k = 0; k < count; ++k) {
    raw_xyz.push_back(Xyz(raw[k]));
    out_xyz.push_back(Xyz(out.points[k]));
    worst = std::max(worst, (out_xyz.back() - truth_at_end[k]).norm());
  }
  const double raw_rms = flatness(raw_xyz);
  const double out_rms = flatness(out_xyz);
  // Turning 0.19 rad during the sweep bends the raw wall by centimetres; the compensated wall is
  // flat to a tenth of a millimetre and within half a millimetre of where the end pose sees it
  // (the second-order increments account for a few micrometres of that).
  EXPECT_GT(raw_rms, 0.01);
  EXPECT_LT(out_rms, 1e-4);
  EXPECT_LT(worst, 5e-4);
}

}  // namespace

TEST(IMUProcessIntoPoints, PointsHeldByTheCallerEndAsTheCloudWouldForEveryOrder)
{
  // Two compensators see the same measurements; one fills clouds of its own, the other works in
  // a copy of each scan that the caller holds (as the bytes of a message).
  IMUProcess into_cloud;
  IMUProcess into_points;
  const Eigen::Vector3d rest(0, 0, 9.81);
  const Eigen::Vector3d turn(0.2, -0.1, 1.7);
  const auto init = MakeMeas(
    TickSeconds(kBase - 16), TickSeconds(kBase), MakeCloud({MakePoint(1, 2, 3, 10.f)}),
    {MakeImu(kBase - 8, kZero, rest), MakeImu(kBase, turn, rest)});
  Cloud cloud;
  std::vector<pcl::PointXYZINormal> points(1);
  ASSERT_FALSE(into_cloud.Process(init, cloud));
  ASSERT_FALSE(into_points.Process(init, points.data()));

  const std::vector<float> rising = {0.5f, 7.8125f, 11.f, 31.25f, 50.f, 77.f, 101.5625f, 124.f};
  std::vector<float> reversed(rising.rbegin(), rising.rend());
  std::vector<float> tied;
  for (float t : rising) {
    tied.insert(tied.end(), 5, t);  // equal times, as a PointCloud2 sensor fires them
  }
  std::reverse(tied.begin() + 8, tied.end());
  int64_t start = kBase;
  for (const auto & times : {rising, reversed, tied}) {
    std::vector<pcl::PointXYZINormal> scan;
    for (std::size_t i = 0; i < times.size(); ++i) {
      const double k = static_cast<double>(i);
      scan.push_back(MakePoint(4.0 + k, 2.5 - 0.7 * k, 0.3 * k, times[i]));
    }
    const auto meas = MakeMeas(
      TickSeconds(start), TickSeconds(start + 16), MakeCloud(scan),
      UniformSamples(start, start + 17, turn, rest));
    start += 16;
    points.assign(meas.scan->points.begin(), meas.scan->points.end());
    ASSERT_TRUE(into_cloud.Process(meas, cloud));
    ASSERT_TRUE(into_points.Process(meas, points.data()));
    ASSERT_EQ(cloud.size(), points.size());
    EXPECT_EQ(0, std::memcmp(cloud.points.data(), points.data(), 48 * points.size()));
    // The compensation moved the points: the comparison is not one of two copies of the scan.
    EXPECT_NE(0, std::memcmp(meas.scan->points.data(), points.data(), 48 * points.size()));
  }
}
