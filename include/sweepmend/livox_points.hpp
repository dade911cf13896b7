#ifndef SWEEPMEND__LIVOX_POINTS_HPP_
#define SWEEPMEND__LIVOX_POINTS_HPP_

#include <cstddef>
#include <cstdint>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "livox_ros_driver2/msg/custom_point.hpp"

namespace sweepmend
{

/// Which points of a Livox scan are measurements worth keeping.
struct LivoxPointFilter
{
  /// Largest accepted point, object and adhesion confidence (tag bits 2-3, 4-5 and 0-1; 0 is
  /// the best).
  uint8_t point_conf_thr{1};
  uint8_t object_conf_thr{1};
  uint8_t adhesion_conf_thr{1};
  /// Points of this laser line and above are dropped.
  int32_t line_limit{4};
  /// Only every point_stride-th point that passes the line and tag tests goes on.
  int32_t point_stride{1};
  /// A kept point lies farther than this from the sensor, m.
  double min_range{0.0};
};

/// Appends to `out` (as PCL's push_back does: `width` the point count, `height` 1) each of the
/// points 1 to count - 1 that passes the line, tag and stride tests, does not repeat the
/// position of its predecessor, has a finite position and time, and lies beyond the minimum
/// range. A kept point carries the tag as `intensity` and `offset_time` in ms as `curvature`;
/// point 0 has no predecessor for the repeat test and is never kept.
///
/// The predecessor of point i is point i - 1 as far as it got: its position if it passed the
/// line, tag and stride tests, the origin otherwise. Positions repeat when no coordinate differs
/// by more than 1e-7 m (compared in double after a single-precision difference).
void keep_livox_points(
  const livox_ros_driver2::msg::CustomPoint * points, std::size_t count,
  const LivoxPointFilter & filter, pcl::PointCloud<pcl::PointXYZINormal> & out);

}  // namespace sweepmend

#endif  // SWEEPMEND__LIVOX_POINTS_HPP_
