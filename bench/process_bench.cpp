// Throughput of IMUProcess::Process on a Mid-360-sized scan: 20 000 points over 0.1 s with the
// 21 IMU samples (200 Hz) that cover it, the sensor turning and accelerating.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include <Eigen/Dense>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "sensor_msgs/msg/imu.hpp"
#include "sweepmend/imu_process.hpp"
#include "sweepmend/synced_measurement.hpp"

namespace
{

constexpr int kPoints = 20000;
constexpr int kSamples = 21;
constexpr int64_t kSampleStepNs = 5000000;  // 200 Hz
constexpr int64_t kScanStartNs = 1700000000LL * 1000000000LL;

std::shared_ptr<const sensor_msgs::msg::Imu> MakeImu(
  int64_t stamp_ns, const Eigen::Vector3d & gyr, const Eigen::Vector3d & acc)
{
  auto imu = std::make_shared<sensor_msgs::msg::Imu>();
  imu->header.stamp.sec = static_cast<int32_t>(stamp_ns / 1000000000LL);
  imu->header.stamp.nanosec = static_cast<uint32_t>(stamp_ns % 1000000000LL);
  imu->angular_velocity.x = gyr.x();
  imu->angular_velocity.y = gyr.y();
  imu->angular_velocity.z = gyr.z();
  imu->linear_acceleration.x = acc.x();
  imu->linear_acceleration.y = acc.y();
  imu->linear_acceleration.z = acc.z();
  return imu;
}

double Seconds(int64_t ns) {return static_cast<double>(ns) * 1e-9;}

/// The initialising measurement (the 0.1 s before the scan) and the scan to compensate.
struct Scenario
{
  SyncedMeasurement init;
  SyncedMeasurement scan;

  Scenario()
  {
    const Eigen::Vector3d rest(0.02, -0.01, 1.0);  // in g, as a Livox IMU reports
    const int64_t init_start = kScanStartNs - kSamples * kSampleStepNs;
    for (int i = 0; i < kSamples; ++i) {
      init.imu_samples.push_back(
        MakeImu(init_start + i * kSampleStepNs, Eigen::Vector3d::Zero(), rest));
    }
    init.lidar_beg_time = Seconds(init_start);
    init.lidar_end_time = Seconds(kScanStartNs);
    init.scan = std::make_shared<pcl::PointCloud<pcl::PointXYZINormal>>();

    // The last sample falls on the scan end, as the grouping hands them over.
    for (int i = 0; i < kSamples; ++i) {
      const double s = 0.05 * i;
      scan.imu_samples.push_back(
        MakeImu(
          kScanStartNs + i * kSampleStepNs,
          Eigen::Vector3d(0.1 * std::sin(s), -0.2, 0.8 + 0.1 * std::cos(s)),
          rest + Eigen::Vector3d(0.05 * std::cos(s), 0.03, -0.02 * std::sin(s))));
    }
    scan.lidar_beg_time = Seconds(kScanStartNs);
    scan.lidar_end_time = Seconds(kScanStartNs + (kSamples - 1) * kSampleStepNs);
    auto cloud = std::make_shared<pcl::PointCloud<pcl::PointXYZINormal>>();
    cloud->reserve(kPoints);
    for (int i = 0; i < kPoints; ++i) {
      // Points in acquisition order, as a driver delivers them.
      const double az = 0.013 * i;
      const double range = 4.0 + 3.0 * std::sin(0.007 * i);
      pcl::PointXYZINormal p;
      p.x = static_cast<float>(range * std::cos(az));
      p.y = static_cast<float>(range * std::sin(az));
      p.z = static_cast<float>(0.5 * std::sin(0.031 * i));
      p.intensity = static_cast<float>(i % 255);
      p.curvature = static_cast<float>(100.0 * (i + 1) / kPoints);
      cloud->push_back(p);
    }
    scan.scan = cloud;
  }
};

void BM_ImuProcessScan(benchmark::State & state)
{
  const Scenario scenario;
  const Eigen::Matrix3d ext_r =
    Eigen::AngleAxisd(0.05, Eigen::Vector3d::UnitY()).toRotationMatrix();
  const Eigen::Vector3d ext_t(-0.011, -0.023, 0.044);
  pcl::PointCloud<pcl::PointXYZINormal> out;

  for (auto _ : state) {
    // A fresh, just-initialised processor each time, so every run integrates all samples.
    state.PauseTiming();
    IMUProcess proc;
    proc.SetExtrinsic(ext_t, ext_r);
    proc.Process(scenario.init, out);
    state.ResumeTiming();

    const bool ok = proc.Process(scenario.scan, out);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(out.points.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_ImuProcessScan)->Unit(benchmark::kMillisecond);

}  // namespace
