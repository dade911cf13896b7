#ifndef SWEEPMEND__SCAN_LAYOUT_HPP_
#define SWEEPMEND__SCAN_LAYOUT_HPP_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "sensor_msgs/msg/point_cloud2.hpp"

namespace sweepmend
{

/// Bytes one point of the fixed PointCloud2 scan layout needs: x, y, z and intensity as float32
/// at bytes 0 to 15, bytes 16 and 17 unused, the point's time in seconds from the scan stamp as
/// an unaligned float64 at bytes 18 to 25; all in host byte order.
constexpr uint32_t kScanPointBytes = 26;

/// Number of points to read from a scan in the fixed layout: height × width (taken in 64 bits,
/// so that it cannot wrap), but no more than start within `data` with all kScanPointBytes
/// inside it, one every `point_step` bytes. 0 when `point_step` is below kScanPointBytes: such a
/// message cannot hold a point of the layout.
std::size_t scan_point_count(const sensor_msgs::msg::PointCloud2 & msg);

/// Reads the point whose kScanPointBytes bytes start at `bytes`: x, y, z and intensity as
/// stored, curvature the time in milliseconds (the float64 seconds times 1000.0, rounded to
/// float), normals 0. Inline: it runs for every point of every scan.
inline pcl::PointXYZINormal read_scan_point(const uint8_t * bytes)
{
  pcl::PointXYZINormal point;
  std::memcpy(&point.x, bytes, sizeof(float));
  std::memcpy(&point.y, bytes + 4, sizeof(float));
  std::memcpy(&point.z, bytes + 8, sizeof(float));
  std::memcpy(&point.intensity, bytes + 12, sizeof(float));
  double time = 0.0;
  std::memcpy(&time, bytes + 18, sizeof(double));
  point.curvature = static_cast<float>(time * 1000.0);  // s -> ms
  return point;
}

/// Appends p to cloud as push_back does (`width` the point count, `height` 1), but builds it in
/// place field by field (normals 0): a copy of a point just put together field by field would
/// first wait for those writes.
inline void append_point(
  pcl::PointCloud<pcl::PointXYZINormal> & cloud, const pcl::PointXYZINormal & p)
{
  auto & q = cloud.points.emplace_back();
  q.x = p.x;
  q.y = p.y;
  q.z = p.z;
  q.intensity = p.intensity;
  q.curvature = p.curvature;
  cloud.width = static_cast<uint32_t>(cloud.points.size());
  cloud.height = 1;
}

}  // namespace sweepmend

#endif  // SWEEPMEND__SCAN_LAYOUT_HPP_
