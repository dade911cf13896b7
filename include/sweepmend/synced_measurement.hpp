#ifndef SWEEPMEND__SYNCED_MEASUREMENT_HPP_
#define SWEEPMEND__SYNCED_MEASUREMENT_HPP_

#include <deque>
#include <memory>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "sensor_msgs/msg/imu.hpp"

/// One LiDAR scan together with the IMU samples that cover it.
///
/// Times are in seconds on the ROS clock. The scan and the IMU messages are shared, never copied,
/// so copying a measurement is cheap.
struct SyncedMeasurement
{
  /// Start of the scan, s (the stamp the scan was queued with).
  double lidar_beg_time{0.0};
  /// End of the scan, s, as fixed when the scan was grouped with its IMU samples.
  double lidar_end_time{0.0};
  /// The scan, in the LiDAR frame; each point's `curvature` is its time offset from
  /// `lidar_beg_time` in milliseconds.
  std::shared_ptr<pcl::PointCloud<pcl::PointXYZINormal>> scan;
  /// IMU samples assigned to the scan, oldest first.
  std::deque<std::shared_ptr<const sensor_msgs::msg::Imu>> imu_samples;
};

#endif  // SWEEPMEND__SYNCED_MEASUREMENT_HPP_
