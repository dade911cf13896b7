#include "sweepmend/scan_layout.hpp"

#include <algorithm>
#include <cstring>

namespace sweepmend
{

std::size_t scan_point_count(const sensor_msgs::msg::PointCloud2 & msg)
{
  if (msg.point_step < kScanPointBytes || msg.data.size() < kScanPointBytes) {
    return 0;
  }
  const uint64_t declared = static_cast<uint64_t>(msg.height) * msg.width;
  // The last point read only needs its own kScanPointBytes inside data, not its padding.
  const uint64_t fitting = (msg.data.size() - kScanPointBytes) / msg.point_step + 1;
  return static_cast<std::size_t>(std::min(declared, fitting));
}

pcl::PointXYZINormal read_scan_point(const uint8_t * bytes)
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

}  // namespace sweepmend
