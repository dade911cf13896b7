#include "sweepmend/imu_process.hpp"

#include <glog/logging.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "rclcpp/time.hpp"
#include "sweepmend/backward_compensation.hpp"

namespace
{

constexpr double kGravity = 9.81;  // m/s²

// The pose records of one scan (IMUPose) and the backward pass over its points live beside this
// file, in backward_compensation.cpp, which computes several points side by side with the
// widest vector instructions the processor offers (chosen when the program runs; the results do
// not depend on the choice).

// The published coordinates are compared bit for bit in the tests: the forward pass below keeps
// its Eigen expressions as they are, and the backward pass reproduces them operation by
// operation. Reordering a sum, folding a constant or letting the compiler fuse a multiply and an
// add changes the last bit.

double StampSeconds(const sensor_msgs::msg::Imu & imu)
{
  return rclcpp::Time(imu.header.stamp, RCL_ROS_TIME).seconds();
}

Eigen::Vector3d ToVector(const geometry_msgs::msg::Vector3 & v)
{
  return Eigen::Vector3d(v.x, v.y, v.z);
}

// Second-order rotation increment I + A + A²/2 with A = [w·dt]×; deliberately not the exact
// exponential and never re-orthonormalised.
Eigen::Matrix3d DeltaR(const Eigen::Vector3d & omega, double dt)
{
  const Eigen::Vector3d v = omega * dt;
  Eigen::Matrix3d a;
  a << 0.0, -v.z(), v.y(),
    v.z(), 0.0, -v.x(),
    -v.y(), v.x(), 0.0;
  return Eigen::Matrix3d::Identity() + a + 0.5 * a * a;
}

}  // namespace

IMUProcess::IMUProcess() = default;

void IMUProcess::SetExtrinsic(const Eigen::Vector3d & T, const Eigen::Matrix3d & R)
{
  extrinsic_T_ = T;
  extrinsic_R_ = R;
}

bool IMUProcess::Run(
  const SyncedMeasurement & meas, const Output & output)
{
  if (!std::isfinite(meas.lidar_beg_time) || !std::isfinite(meas.lidar_end_time)) {
    LOG(ERROR) << "lidar_beg_time and lidar_end_time must be finite values";
    return false;
  }
  meas_ = meas;
  if (meas_.imu_samples.empty()) {
    return false;
  }
  if (need_init_) {
    InitGravity();
    // The initialising scan is never compensated.
    return false;
  }
  return Compensate(output);
}

bool IMUProcess::InitGravity()
{
  // Running mean restarted on every attempt: with k = 1 the first sample replaces the old value.
  Eigen::Vector3d mean = mean_acc_;
  double k = 0.0;
  for (const auto & imu : meas_.imu_samples) {
    k += 1.0;
    mean += (ToVector(imu->linear_acceleration) - mean) / k;
  }
  // No accelerometer at rest reads this little in g, m/s² or mg: such a mean has no reliable
  // direction, and the scale 9.81 / norm would blow every later acceleration up (or make it NaN).
  const double norm = mean.norm();
  if (!std::isfinite(norm) || !(norm >= kMinMeanAccelerationNorm)) {
    LOG_IF(ERROR, init_log_.due()) << "mean acceleration at initialisation is near zero or not " <<
      "finite (norm " << norm << "), waiting for the next measurement" << init_log_.note();
    return false;
  }
  mean_acc_ = mean;
  gravity_ = -mean_acc_ / norm * kGravity;
  need_init_ = false;
  last_imu_ = meas_.imu_samples.back();
  last_lidar_end_time_ = meas_.lidar_end_time;
  return true;
}

bool IMUProcess::Compensate(const Output & output)
{
  const double beg_time = meas_.lidar_beg_time;
  const double end_time = meas_.lidar_end_time;

  // The last sample of the previous scan opens the integration, so the gap between scans is
  // covered.
  std::vector<std::shared_ptr<const sensor_msgs::msg::Imu>> samples;
  samples.reserve(meas_.imu_samples.size() + 1);
  if (last_imu_) {
    samples.push_back(last_imu_);
  }
  samples.insert(samples.end(), meas_.imu_samples.begin(), meas_.imu_samples.end());
  const double t_last = StampSeconds(*samples.back());

  std::vector<IMUPose> poses;
  poses.reserve(samples.size());
  poses.push_back(
    IMUPose{0.0, Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero(),
      Eigen::Vector3d::Zero(), Eigen::Matrix3d::Identity()});

  const double mean_acc_norm = mean_acc_.norm();
  double t_head = StampSeconds(*samples.front());
  for (size_t i = 0; i + 1 < samples.size(); ++i) {
    const auto & head = *samples[i];
    const auto & tail = *samples[i + 1];
    const double t_tail = StampSeconds(tail);
    const double t_h = t_head;
    t_head = t_tail;
    // Intervals that ended before the previous scan did were integrated with that scan.
    if (t_tail < last_lidar_end_time_) {
      continue;
    }
    const Eigen::Vector3d omega =
      0.5 * (ToVector(head.angular_velocity) + ToVector(tail.angular_velocity));
    const Eigen::Vector3d acc_avg =
      0.5 * (ToVector(head.linear_acceleration) + ToVector(tail.linear_acceleration));
    const Eigen::Vector3d acc = acc_avg * kGravity / mean_acc_norm + gravity_;
    // The interval that straddles the previous scan end counts only from that end.
    const double dt = t_tail - std::max(t_h, last_lidar_end_time_);

    const IMUPose & prev = poses.back();
    IMUPose next;
    next.pose_time = t_tail - beg_time;
    next.acc = prev.rot * acc;
    next.gyr = omega;
    next.vel = prev.vel + acc * dt;
    next.pos = prev.pos + prev.vel * dt;
    next.rot = prev.rot * DeltaR(omega, dt);
    poses.push_back(next);
  }

  last_lidar_end_time_ = end_time;
  last_imu_ = meas_.imu_samples.back();

  // The newest sample may lie on either side of the scan end; extrapolate over the gap.
  const IMUPose & last_pose = poses.back();
  const double dt_end = std::abs(end_time - t_last);
  const Eigen::Vector3d pos_end = last_pose.pos + last_pose.vel * dt_end;
  const Eigen::Matrix3d rot_end = last_pose.rot * DeltaR(last_pose.gyr, dt_end);
  const Eigen::Matrix3d rot_end_t = rot_end.transpose();

  // The copy of the scan comes out ordered by point time, by the same unstable sort as always
  // unless the times rise strictly: with equal times (the Vanjee fires 32 points at once) its
  // order shows in the output. Points from the caller hold the copy and are sorted in place.
  const std::size_t count = meas_.scan->size();
  pcl::PointXYZINormal * points = output.points;
  if (output.cloud != nullptr) {
    copy_sorted_by_curvature(*meas_.scan, *output.cloud, sort_keys_);
    points = output.cloud->points.data();
  } else {
    sort_copy_by_curvature(*meas_.scan, points, sort_keys_);
  }
  if (count == 0) {
    return false;  // the integration state above has advanced all the same
  }
  // Each point uses the newest interval whose start lies strictly before it; the frame holds
  // what every point shares. With one record only (the input time jumped back) none moves.
  CompensationFrame frame;
  frame.ext_r = extrinsic_R_;
  frame.ext_r_t = extrinsic_R_.transpose();
  frame.ext_t = extrinsic_T_;
  frame.rot_end_t = rot_end_t;
  frame.pos_end = pos_end;
  // The working buffers (sort keys, NaN reports) are members, so that a cycle allocates no
  // cloud-sized memory of its own once the first scans have been through.
  nan_points_.clear();
  compensate_backward(poses, frame, points, count, nan_points_);

  // Reported after the pass, in the order the walk visited the points (the last first); a NaN
  // point is stored all the same and the walk goes on.
  for (const NanCompensation & nan : nan_points_) {
    const Eigen::Vector3d & p_compensate = nan.value;
    LOG_IF(ERROR, nan_log_.due()) << "P_compensate resulted in NaN: " << p_compensate <<
      nan_log_.note();
  }
  return true;
}

// The entry points, below the records above so that each keeps its line.

bool IMUProcess::Process(
  const SyncedMeasurement & meas, pcl::PointCloud<pcl::PointXYZINormal> & out)
{
  return Run(meas, Output{&out, nullptr});
}

bool IMUProcess::Process(const SyncedMeasurement & meas, pcl::PointXYZINormal * out)
{
  return Run(meas, Output{nullptr, out});
}
