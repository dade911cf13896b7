#ifndef SWEEPMEND__BACKWARD_COMPENSATION_HPP_
#define SWEEPMEND__BACKWARD_COMPENSATION_HPP_

#include <cstddef>
#include <cstdint>
#include <vector>

#include <Eigen/Dense>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

/// One integrated IMU interval: state at its end, in the scan-start frame.
struct IMUPose
{
  double pose_time;  ///< end of the interval relative to lidar_beg_time, s
  Eigen::Vector3d acc;  ///< corrected acceleration turned into the scan-start frame
  Eigen::Vector3d gyr;  ///< mean angular rate of the interval, rad/s, body frame
  Eigen::Vector3d vel;  ///< velocity at the end of the interval
  Eigen::Vector3d pos;  ///< position at the end of the interval, scan-start frame
  Eigen::Matrix3d rot;  ///< attitude at the end of the interval
};

/// What the backward pass needs besides the poses: the LiDAR-to-IMU extrinsic and the state at
/// the scan end time.
struct CompensationFrame
{
  Eigen::Matrix3d ext_r;      ///< q = ext_r·p + ext_t takes a LiDAR point into the IMU frame
  Eigen::Matrix3d ext_r_t;    ///< ext_r transposed: the way back
  Eigen::Vector3d ext_t;
  Eigen::Matrix3d rot_end_t;  ///< attitude at the scan end, transposed
  Eigen::Vector3d pos_end;    ///< position at the scan end
};

/// A compensated point with a NaN coordinate, as computed in double before the float store.
struct NanCompensation
{
  std::size_t index;
  Eigen::Vector3d value;
};

/// Backward pass: walks the points (sorted by `curvature`, ms) from the last to the first and
/// moves each one whose time lies after a pose record's start into the LiDAR frame at the scan
/// end, using the newest pair of records whose head time lies strictly before the point.
///
/// Each point goes through exactly the floating-point operations, in exactly the order, of the
/// plain Eigen expressions R_i = R_h·ΔR(ω_t, dt), P_i = p_h + v_h·dt + ½·a_t·dt², and
/// ext_rᵀ·(R_endᵀ·(R_i·(ext_r·p + ext_t) + P_i − p_end) − ext_t), so the results are the same
/// bits; several points are computed side by side where the processor allows.
///
/// @param poses the pose list, start record first; nothing moves with fewer than two records
/// @param points the cloud's points, x, y and z overwritten in place
/// @param nans receives the points whose result has a NaN, in the order visited (last first)
/// @param exact if given, 3·count doubles that receive each moved point's coordinates as
///   computed, before they are rounded to float (points not moved leave theirs as they were)
void compensate_backward(
  const std::vector<IMUPose> & poses, const CompensationFrame & frame,
  pcl::PointXYZINormal * points, std::size_t count, std::vector<NanCompensation> & nans,
  double * exact = nullptr);

/// Numbers of points this processor can compensate side by side, widest first: 8, 4 and 2 on
/// x86-64 where it has the instructions, and 1 everywhere.
std::vector<int> compensation_lane_widths();

/// compensate_backward with `lanes` points side by side (one of compensation_lane_widths()),
/// so that tests can hold every width to the same bits.
void compensate_backward_lanes(
  int lanes, const std::vector<IMUPose> & poses, const CompensationFrame & frame,
  pcl::PointXYZINormal * points, std::size_t count, std::vector<NanCompensation> & nans,
  double * exact = nullptr);

/// The same pass one point at a time, with Eigen expressions: the reference the side-by-side
/// computation is held to.
void compensate_backward_reference(
  const std::vector<IMUPose> & poses, const CompensationFrame & frame,
  pcl::PointXYZINormal * points, std::size_t count, std::vector<NanCompensation> & nans,
  double * exact = nullptr);

/// Sort key of one point: its time and where it stands in the scan.
struct CurvatureKey
{
  float curvature;
  uint32_t index;
};

/// Makes `out` a complete copy of `scan` (header, size, density, sensor pose) whose points are
/// in ascending order of `curvature`, exactly as std::sort with a strict less-than on
/// `curvature` would leave them, equal times included (the sort is unstable, so the order of
/// points with equal times is whatever that sort makes of it). A scan whose times already rise
/// strictly is copied as it is; otherwise the sort runs on 8-byte keys, which takes the same
/// decisions and so gives the same order, and the points are gathered once.
/// @param keys working storage, kept by the caller between scans
void copy_sorted_by_curvature(
  const pcl::PointCloud<pcl::PointXYZINormal> & scan, pcl::PointCloud<pcl::PointXYZINormal> & out,
  std::vector<CurvatureKey> & keys);

/// The same order for a copy of the scan's points that is already there: `copy` holds a byte
/// copy of scan.points and ends with the points copy_sorted_by_curvature would give. A scan
/// whose times rise strictly is left as it is.
void sort_copy_by_curvature(
  const pcl::PointCloud<pcl::PointXYZINormal> & scan, pcl::PointXYZINormal * copy,
  std::vector<CurvatureKey> & keys);

#endif  // SWEEPMEND__BACKWARD_COMPENSATION_HPP_
