#ifndef SWEEPMEND__POINT_PROCESSER_HPP_
#define SWEEPMEND__POINT_PROCESSER_HPP_

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <Eigen/Dense>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "builtin_interfaces/msg/time.hpp"
#include "livox_ros_driver2/msg/custom_msg.hpp"
#include "rclcpp/rclcpp.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "sweepmend/cloud_pool.hpp"
#include "sweepmend/imu_process.hpp"
#include "sweepmend/livox_points.hpp"
#include "sweepmend/log_throttle.hpp"
#include "sweepmend/synced_measurement.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

/// Topic of the scans (Livox custom messages or PointCloud2, by `lidar_type`).
extern std::string lidar_topic;
/// Topic of the IMU samples.
extern std::string imu_topic;
/// Topic of the undistorted clouds.
extern std::string lidar_topic_undistorted;
/// Topic of the received clouds, published beside the undistorted ones.
extern std::string lidar_topic_undistorted_raw;
/// Frame of both published clouds: the `frame_id` parameter, replaced by the frame of every
/// Livox scan received.
extern std::string output_frame_id;

/// The node "harrow_node": queues LiDAR scans and IMU samples, and every 10 ms of node-clock
/// time groups the oldest scan with the IMU samples up to its end time, removes its motion
/// distortion with IMUProcess and publishes the undistorted and the received scan as
/// sensor_msgs::msg::PointCloud2, both moved by the extrinsic transform [R T; 0 1] into the output
/// frame and stamped with the scan's end time.
///
/// Scans arrive as livox_ros_driver2::msg::CustomMsg (`lidar_type` 0) or as PointCloud2 with a
/// fixed 26-byte point layout (`lidar_type` 1). Each queued point keeps its time offset from the
/// scan stamp in `curvature`, in milliseconds. All callbacks run on the one spinning thread.
///
/// Create it only with std::make_shared; everything is configured from parameters in the
/// constructor, which throws when a parameter has the wrong type or an extrinsic array is short.
class DataSubscriber : public rclcpp::Node
{
public:
  DataSubscriber();
  DataSubscriber(const DataSubscriber &) = delete;
  DataSubscriber & operator=(const DataSubscriber &) = delete;

  /// Scans kept while they wait for IMU data; beyond this the oldest scan is dropped.
  static constexpr std::size_t kMaxQueuedScans = 100;
  /// IMU samples kept while they wait for scans (100 s at 200 Hz); beyond this the oldest goes.
  static constexpr std::size_t kMaxQueuedImuSamples = 20000;
  /// Longest scan duration taken from a scan's last point, s: no supported sensor takes longer
  /// per sweep, so a longer one is a bad point time and must not reach the running mean.
  static constexpr double kMaxScanDuration = 1.0;

private:
  friend class DataSubscriberTestAccess;

  void imu_callback(const sensor_msgs::msg::Imu::ConstSharedPtr & msg);
  void livox_pcl_callback(const livox_ros_driver2::msg::CustomMsg::ConstSharedPtr & msg);
  void vanjee_pcl_callback(const sensor_msgs::msg::PointCloud2::ConstSharedPtr & msg);
  /// Moves the oldest scan and the IMU samples up to its end time into meas; false when no scan
  /// can be grouped in this cycle (meas must then not be used).
  bool take_measurement(SyncedMeasurement & meas);
  /// One processing cycle: group, compensate, transform, publish, log the time taken.
  void timer_callback();

  /// Converts a header stamp to seconds on the ROS clock. A stamp that is no valid ROS time
  /// (negative seconds) is reported with the topic name through `throttle` and false is returned.
  static bool stamp_seconds(
    const builtin_interfaces::msg::Time & stamp, const char * topic,
    sweepmend::LogThrottle & throttle, double & seconds);
  /// Takes the stamp of an IMU sample in seconds. False for a negative stamp (see stamp_seconds)
  /// and, with a throttled ERROR, for a sample whose angular velocity or linear acceleration is
  /// not finite: one such value would turn every point of the scan into NaN.
  bool imu_usable(const sensor_msgs::msg::Imu & msg, double & stamp);
  /// False, with a throttled ERROR naming topic and step, for a PointCloud2 whose point_step is
  /// too short for the fixed point layout.
  bool point_step_usable(const sensor_msgs::msg::PointCloud2 & msg);
  /// True when a scan duration (s) from the last point is usable: from 0 to kMaxScanDuration.
  /// Otherwise a throttled WARNING (nothing else changes) and false.
  bool plausible_duration(double duration);
  /// Hands msg (a cloud in toROSMsg's layout) to the publisher if `finite` says that every
  /// coordinate of its points is finite; otherwise a throttled ERROR names the topic and
  /// nothing is published.
  void publish_finite(
    rclcpp::Publisher<sensor_msgs::msg::PointCloud2> & publisher,
    std::unique_ptr<sensor_msgs::msg::PointCloud2> msg, bool finite);
  /// A stamp of the time end_time (s), truncated toward zero to whole nanoseconds.
  static builtin_interfaces::msg::Time end_stamp(double end_time);
  /// Fails start-up unless values holds at least count elements.
  static void require_size(
    const char * parameter, const std::vector<double> & values, std::size_t count);
  /// Writes sample points of a PointCloud2 scan to the node's logger.
  void log_samples(const pcl::PointCloud<pcl::PointXYZINormal> & cloud) const;
  /// Moves the IMU samples that cover the scan ending at lidar_end_time_ into samples; call with
  /// buffer_mutex_ held and imu_buffer_ not empty.
  void move_imu_samples(std::deque<sensor_msgs::msg::Imu::ConstSharedPtr> & samples);
  /// Scan loop-back rule; call with buffer_mutex_ held.
  void check_scan_loop_back(double stamp);
  /// Appends a scan and its stamp (s), dropping the oldest beyond kMaxQueuedScans; call with
  /// buffer_mutex_ held.
  void queue_scan(const pcl::PointCloud<pcl::PointXYZINormal>::Ptr & cloud, double stamp);
  /// Appends an IMU sample, dropping the oldest beyond kMaxQueuedImuSamples; call with
  /// buffer_mutex_ held.
  void queue_imu(const sensor_msgs::msg::Imu::ConstSharedPtr & msg);

  /// True unless a coordinate differs by more than 1e-7 m (differences taken in single
  /// precision); a NaN difference exceeds nothing.
  static bool same_position(const pcl::PointXYZINormal & a, const pcl::PointXYZINormal & b)
  {
    return !(static_cast<double>(std::fabs(a.x - b.x)) > 1e-7 ||
           static_cast<double>(std::fabs(a.y - b.y)) > 1e-7 ||
           static_cast<double>(std::fabs(a.z - b.z)) > 1e-7);
  }
  /// True when position and time of a point are finite; any other point is no measurement.
  static bool finite_point(const pcl::PointXYZINormal & p)
  {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) &&
           std::isfinite(p.curvature);
  }
  /// Squared distance from the sensor, m², in single precision.
  static float squared_range(const pcl::PointXYZINormal & p)
  {
    return p.x * p.x + p.y * p.y + p.z * p.z;
  }

  std::mutex buffer_mutex_;
  std::shared_ptr<tf2_ros::StaticTransformBroadcaster> static_broadcaster_;
  /// Stamp of each queued scan, s, in step with lidar_buffer_.
  std::deque<double> time_buffer_;
  std::deque<sensor_msgs::msg::Imu::ConstSharedPtr> imu_buffer_;
  std::deque<pcl::PointCloud<pcl::PointXYZINormal>::Ptr> lidar_buffer_;
  rclcpp::Subscription<sensor_msgs::msg::Imu>::SharedPtr imu_subscription_;
  rclcpp::Subscription<livox_ros_driver2::msg::CustomMsg>::SharedPtr livox_subscription_;
  rclcpp::Subscription<sensor_msgs::msg::PointCloud2>::SharedPtr vanjee_subscription_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr raw_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr undistorted_pub_;
  /// Working cloud of the Livox intake: collects the kept points of a scan, then trades its
  /// storage with the queued cloud.
  pcl::PointCloud<pcl::PointXYZINormal> pl_surf;
  /// Clouds of queued scans, reused once the scans in them are done with (queued, grouped and
  /// compensated; a few at a time).
  sweepmend::CloudPool scan_clouds_{4};
  std::shared_ptr<IMUProcess> imu_process_;
  bool scan_taken_{false};
  bool first_scan_{true};
  int32_t point_stride_{1};
  int32_t line_limit_{4};
  /// Minimum range of a kept point, m.
  double min_range_{0.0};
  /// Stamps of the newest IMU sample and the newest scan, s.
  double last_imu_stamp_{0.0};
  double last_lidar_stamp_{0.0};
  /// Running mean of the scan durations, s, over scan_count_ scans.
  double mean_scan_duration_{0.0};
  /// End time of the scan being grouped, s.
  double lidar_end_time_{0.0};
  uint64_t scan_count_{0};
  /// Largest accepted values of the Livox tag fields (bits 2-3, 4-5 and 0-1).
  uint8_t point_conf_thr_{1};
  uint8_t object_conf_thr_{1};
  uint8_t adhesion_conf_thr_{1};
  /// Extrinsic translation, m.
  std::vector<double> extrinT_{0.0, 0.0, 0.0};
  /// Extrinsic rotation, row by row; the identity while `extrinsic_R` is not given.
  std::vector<double> extrinR_{1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
  /// Applied to both published clouds: p -> R·p + T.
  Eigen::Matrix4d extrinsic_transform_{Eigen::Matrix4d::Identity()};
  rclcpp::TimerBase::SharedPtr process_timer_;

  /// Entries a full queue dropped since its last warning.
  std::size_t scans_dropped_{0};
  std::size_t imu_samples_dropped_{0};
  /// Records that bad input can repeat for every message, each written at most once a second.
  sweepmend::LogThrottle scan_drop_log_;
  sweepmend::LogThrottle imu_drop_log_;
  sweepmend::LogThrottle scan_loop_log_;
  sweepmend::LogThrottle imu_loop_log_;
  sweepmend::LogThrottle scan_stamp_log_;
  sweepmend::LogThrottle imu_stamp_log_;
  sweepmend::LogThrottle imu_value_log_;
  sweepmend::LogThrottle point_step_log_;
  sweepmend::LogThrottle duration_log_;
  sweepmend::LogThrottle unpublished_log_;
};

#endif  // SWEEPMEND__POINT_PROCESSER_HPP_
