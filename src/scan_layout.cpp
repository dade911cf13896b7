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

}  // namespace sweepmend
