#include "sweepmend/cloud_message.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <pcl/common/transforms.h>
#include <pcl_conversions/pcl_conversions.h>

namespace
{

// The field list toROSMsg writes for this point type, taken from toROSMsg itself once.
const std::vector<sensor_msgs::msg::PointField> & point_fields()
{
  static const std::vector<sensor_msgs::msg::PointField> fields = [] {
      sensor_msgs::msg::PointCloud2 msg;
      pcl::toROSMsg(pcl::PointCloud<pcl::PointXYZINormal>(), msg);
      return msg.fields;
    }();
  return fields;
}

}  // namespace

void transform_to_message(
  const pcl::PointCloud<pcl::PointXYZINormal> & cloud, const Eigen::Matrix4d & transform,
  sensor_msgs::msg::PointCloud2 & msg)
{
  using Point = pcl::PointXYZINormal;
  // Sizes as toPCLPointCloud2 sets them: an unorganised cloud without sizes is one row.
  if (cloud.width == 0 && cloud.height == 0) {
    msg.width = static_cast<uint32_t>(cloud.size());
    msg.height = 1;
  } else {
    msg.width = cloud.width;
    msg.height = cloud.height;
  }
  msg.fields = point_fields();
  msg.is_bigendian = false;
  msg.point_step = sizeof(Point);
  msg.row_step = static_cast<uint32_t>(sizeof(Point) * msg.width);
  msg.is_dense = cloud.is_dense;

  // The points' bytes as they are (one copy, no zero-fill), then the transform in place.
  const auto * begin = reinterpret_cast<const uint8_t *>(cloud.points.data());
  msg.data.assign(begin, begin + sizeof(Point) * cloud.size());
  if (cloud.empty()) {
    return;
  }
  pcl::detail::Transformer<double> tf(transform);
  uint8_t * bytes = msg.data.data();
  // PCL stores four floats with an aligned store; a buffer that is not 16-byte aligned goes
  // through an aligned scratch point.
  const bool aligned = reinterpret_cast<std::uintptr_t>(bytes) % 16 == 0;
  alignas(16) float scratch[4];
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    float * xyz = reinterpret_cast<float *>(bytes + i * sizeof(Point));
    // A cloud that may hold non-finite points keeps them as they are, as the transform does.
    if (!cloud.is_dense) {
      const Point & p = cloud.points[i];
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
        continue;
      }
    }
    if (aligned) {
      tf.se3(xyz, xyz);
    } else {
      tf.se3(xyz, scratch);
      std::memcpy(xyz, scratch, sizeof(scratch));
    }
  }
}

bool positions_finite(const sensor_msgs::msg::PointCloud2 & msg)
{
  const std::size_t step = msg.point_step == 0 ? msg.data.size() + 1 : msg.point_step;
  for (std::size_t at = 0; at + 3 * sizeof(float) <= msg.data.size(); at += step) {
    float xyz[3];
    std::memcpy(xyz, msg.data.data() + at, sizeof(xyz));
    if (!std::isfinite(xyz[0]) || !std::isfinite(xyz[1]) || !std::isfinite(xyz[2])) {
      return false;
    }
  }
  return true;
}
