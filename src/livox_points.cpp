#include "sweepmend/livox_points.hpp"

#include <cmath>

namespace sweepmend
{

void keep_livox_points(
  const livox_ros_driver2::msg::CustomPoint * points, std::size_t count,
  const LivoxPointFilter & filter, pcl::PointCloud<pcl::PointXYZINormal> & out)
{
  // Everything the loop reads lives in locals: stores into the cloud could otherwise alias the
  // filter and force a reload per point.
  const LivoxPointFilter f = filter;
  const double min_range_sq = f.min_range * f.min_range;
  auto & kept = out.points;
  const std::size_t before = kept.size();
  float px = 0.0f, py = 0.0f, pz = 0.0f;  // the predecessor's position
  int32_t passed = 0;  // since the last point the stride let through (counted, not divided)
  for (std::size_t i = 1; i < count; ++i) {
    const auto & p = points[i];
    if (p.line >= f.line_limit || ((p.tag >> 2) & 0x03) > f.point_conf_thr ||
      ((p.tag >> 4) & 0x03) > f.object_conf_thr || (p.tag & 0x03) > f.adhesion_conf_thr ||
      ++passed < f.point_stride)
    {
      px = py = pz = 0.0f;
      continue;
    }
    passed = 0;
    const float x = p.x;
    const float y = p.y;
    const float z = p.z;
    const float curvature = static_cast<float>(p.offset_time) / 1000000.0f;  // ns -> ms
    const bool repeat = !(static_cast<double>(std::fabs(x - px)) > 1e-7 ||
      static_cast<double>(std::fabs(y - py)) > 1e-7 ||
      static_cast<double>(std::fabs(z - pz)) > 1e-7);
    px = x;
    py = y;
    pz = z;
    if (repeat || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) ||
      !std::isfinite(curvature) || !(static_cast<double>(x * x + y * y + z * z) > min_range_sq))
    {
      continue;
    }
    // Built in place, field by field, over a default point: a copy of a point just written
    // field by field would first wait for those writes.
    auto & q = kept.emplace_back();
    q.x = x;
    q.y = y;
    q.z = z;
    q.intensity = static_cast<float>(p.tag);
    q.curvature = curvature;
  }
  if (kept.size() != before) {
    out.width = static_cast<uint32_t>(kept.size());
    out.height = 1;
  }
}

}  // namespace sweepmend
