#ifndef SWEEPMEND__IMU_PROCESS_HPP_
#define SWEEPMEND__IMU_PROCESS_HPP_

#include <memory>

#include <Eigen/Dense>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "sensor_msgs/msg/imu.hpp"
#include "sweepmend/backward_compensation.hpp"
#include "sweepmend/log_throttle.hpp"
#include "sweepmend/synced_measurement.hpp"

/// Motion compensator: integrates the IMU samples that cover a scan and moves every point into
/// the LiDAR frame at the scan's end time.
///
/// The first measurement that carries IMU samples only initialises the direction of gravity from
/// its mean acceleration; every later one is compensated. Call SetExtrinsic once, then Process
/// for each measurement, from one thread.
class IMUProcess
{
public:
  /// Smallest norm of the mean acceleration that initialisation accepts, in the IMU's unit
  /// (m/s², g or mg); a smaller, zero or non-finite mean is refused and the next measurement
  /// tried instead.
  static constexpr double kMinMeanAccelerationNorm = 1e-3;

  IMUProcess();
  IMUProcess(const IMUProcess &) = delete;
  IMUProcess & operator=(const IMUProcess &) = delete;

  /// Sets the LiDAR-to-IMU extrinsic: a LiDAR-frame point p is q = R·p + T in the IMU frame.
  /// @param T translation, in the unit of the point coordinates (m)
  /// @param R rotation; used as given, its transpose serves as the inverse
  void SetExtrinsic(const Eigen::Vector3d & T, const Eigen::Matrix3d & R);

  /// Compensates one measurement.
  ///
  /// @param meas scan with its begin/end times (s) and covering IMU samples in stamp order;
  ///   each point's `curvature` is its time offset from `lidar_beg_time` in ms
  /// @param out receives the compensated scan, points in the LiDAR frame at `lidar_end_time`,
  ///   sorted by `curvature`
  /// @return true when `out` holds at least one compensated point. False for non-finite times,
  ///   a measurement without IMU samples, the initialising measurement (in these cases `out` is
  ///   untouched) and an empty scan (`out` is then the empty copy of the scan).
  bool Process(const SyncedMeasurement & meas, pcl::PointCloud<pcl::PointXYZINormal> & out);

  /// As above, with the result written where the caller wants it (the bytes of an outgoing
  /// message, say) instead of into a cloud of its own.
  ///
  /// @param out meas.scan->size() points holding a byte copy of the scan's points; they end as
  ///   the points of the cloud the other overload fills. Left as they are when false is
  ///   returned for any reason but an empty scan.
  bool Process(const SyncedMeasurement & meas, pcl::PointXYZINormal * out);

private:
  friend class IMUProcessTestAccess;

  /// Where a compensated scan goes: into `cloud` as a sorted copy of the scan, or into
  /// `points` that hold a copy already.
  struct Output
  {
    pcl::PointCloud<pcl::PointXYZINormal> * cloud;
    pcl::PointXYZINormal * points;
  };

  /// Both Process overloads: the checks, initialisation, then Compensate.
  bool Run(const SyncedMeasurement & meas, const Output & output);

  /// Takes gravity from the mean acceleration of meas_; false when that mean is unusable.
  bool InitGravity();
  /// Forward propagation over the samples of meas_ and backward compensation of its points.
  bool Compensate(const Output & output);

  /// Last measurement that passed the time check; keeps its scan and IMU messages alive.
  SyncedMeasurement meas_;
  /// Last IMU sample of the previous initialising or compensated measurement; it opens the next
  /// integration so that the gap between two scans is covered.
  std::shared_ptr<const sensor_msgs::msg::Imu> last_imu_;
  /// Gravity has not been initialised yet.
  bool need_init_{true};
  /// `lidar_end_time` of the previous initialising or compensated measurement, s.
  double last_lidar_end_time_{0.0};
  /// Mean linear acceleration of the initialising measurement, in the IMU's own unit
  /// (m/s² or standard gravities), IMU frame.
  Eigen::Vector3d mean_acc_{Eigen::Vector3d::Zero()};
  /// Rotation of the extrinsic: maps LiDAR-frame vectors into the IMU frame (q = R·p + T).
  Eigen::Matrix3d extrinsic_R_{Eigen::Matrix3d::Identity()};
  /// Translation of the extrinsic, in the unit of the point coordinates (m), IMU frame.
  Eigen::Vector3d extrinsic_T_{Eigen::Vector3d::Zero()};
  /// Gravity in the IMU frame at initialisation, m/s², of length 9.81.
  Eigen::Vector3d gravity_{Eigen::Vector3d::Zero()};
  /// A refused initialisation and a NaN coordinate can repeat for every measurement or point;
  /// each is reported at most once a second.
  sweepmend::LogThrottle init_log_;
  sweepmend::LogThrottle nan_log_;

  /// Working storage of Compensate, kept from scan to scan so that it is allocated once.
  std::vector<CurvatureKey> sort_keys_;
  std::vector<NanCompensation> nan_points_;
};

#endif  // SWEEPMEND__IMU_PROCESS_HPP_
