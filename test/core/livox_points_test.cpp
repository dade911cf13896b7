#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "sweepmend/livox_points.hpp"

namespace
{

using Cloud = pcl::PointCloud<pcl::PointXYZINormal>;
using livox_ros_driver2::msg::CustomPoint;
using sweepmend::LivoxPointFilter;

CustomPoint point(float x, float y, float z, uint32_t offset_ns, uint8_t tag = 0, uint8_t line = 0)
{
  CustomPoint p;
  p.x = x;
  p.y = y;
  p.z = z;
  p.offset_time = offset_ns;
  p.tag = tag;
  p.line = line;
  return p;
}

// The rule as first written: every point that passes line, tag and stride goes into an indexed
// cloud of all-zero points, the repeat test reads its predecessor there.
Cloud reference(const std::vector<CustomPoint> & points, const LivoxPointFilter & f)
{
  Cloud indexed;
  indexed.resize(points.size());
  Cloud kept;
  int32_t passed = 0;
  for (std::size_t i = 1; i < points.size(); ++i) {
    const auto & p = points[i];
    if (p.line >= f.line_limit || ((p.tag >> 2) & 0x03) > f.point_conf_thr ||
      ((p.tag >> 4) & 0x03) > f.object_conf_thr || (p.tag & 0x03) > f.adhesion_conf_thr)
    {
      continue;
    }
    if (++passed % f.point_stride != 0) {
      continue;
    }
    auto & q = indexed[i];
    q.x = p.x;
    q.y = p.y;
    q.z = p.z;
    q.intensity = static_cast<float>(p.tag);
    q.curvature = static_cast<float>(p.offset_time) / 1000000.0f;
    const auto & prev = indexed[i - 1];
    if (!(static_cast<double>(std::fabs(q.x - prev.x)) > 1e-7 ||
      static_cast<double>(std::fabs(q.y - prev.y)) > 1e-7 ||
      static_cast<double>(std::fabs(q.z - prev.z)) > 1e-7))
    {
      continue;
    }
    const bool finite = std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) &&
      std::isfinite(q.curvature);
    if (finite && q.x * q.x + q.y * q.y + q.z * q.z > f.min_range * f.min_range) {
      kept.push_back(q);
    }
  }
  return kept;
}

Cloud kept_of(const std::vector<CustomPoint> & points, const LivoxPointFilter & f)
{
  Cloud out;
  sweepmend::keep_livox_points(points.data(), points.size(), f, out);
  return out;
}

void expect_same_bytes(const Cloud & expected, const Cloud & actual)
{
  ASSERT_EQ(expected.size(), actual.size());
  EXPECT_EQ(expected.width, actual.width);
  EXPECT_EQ(expected.height, actual.height);
  EXPECT_EQ(0, std::memcmp(expected.points.data(), actual.points.data(), 48 * expected.size()));
}

TEST(LivoxPoints, KeepsWhatTheIndexedCloudRuleKeepsByteForByte)
{
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_real_distribution<float> coord(-3.0f, 3.0f);
  const float inf = std::numeric_limits<float>::infinity();
  for (int round = 0; round < 40; ++round) {
    LivoxPointFilter f;
    f.point_conf_thr = static_cast<uint8_t>(round % 4);
    f.object_conf_thr = static_cast<uint8_t>((round / 4) % 4);
    f.adhesion_conf_thr = static_cast<uint8_t>((round / 2) % 4);
    f.line_limit = 1 + round % 5;
    f.point_stride = 1 + round % 3;
    f.min_range = (round % 7) * 0.3;
    std::vector<CustomPoint> points;
    for (int i = 0; i < 2000; ++i) {
      CustomPoint p = point(
        coord(rng), coord(rng), coord(rng), static_cast<uint32_t>(i * 50000),
        static_cast<uint8_t>(byte(rng)), static_cast<uint8_t>(byte(rng) % 6));
      switch (byte(rng) % 12) {
        case 0: p.x = p.y = p.z = 0.0f; break;  // a missing return
        case 1: if (!points.empty()) {p.x = points.back().x; p.y = points.back().y;
            p.z = points.back().z;} break;  // a repeat
        case 2: p.z = points.empty() ? p.z : points.back().z + 5e-8f; break;
        case 3: p.y = (i % 2) ? inf : std::nanf(""); break;
        default: break;
      }
      points.push_back(p);
    }
    SCOPED_TRACE(round);
    expect_same_bytes(reference(points, f), kept_of(points, f));
  }
}

TEST(LivoxPoints, PredecessorIsTheOriginWhenItWasDroppedEarly)
{
  const LivoxPointFilter f;
  // Point 1 fails the line test, so point 2 at the origin repeats "it" and is dropped; point 4
  // repeats point 3, which got as far as the repeat test; point 0 is never kept.
  const std::vector<CustomPoint> points = {
    point(5, 5, 5, 0), point(1, 1, 1, 1000000, 0, 7), point(0, 0, 0, 2000000),
    point(2, 0, 0, 3000000), point(2, 0, 0, 4000000), point(0, 3, 0, 5000000, 0x10)};
  const Cloud kept = kept_of(points, f);
  ASSERT_EQ(2u, kept.size());
  EXPECT_EQ(2.0f, kept[0].x);
  EXPECT_EQ(3.0f, kept[0].curvature);  // ms
  EXPECT_EQ(3.0f, kept[1].y);
  EXPECT_EQ(16.0f, kept[1].intensity);  // the tag
  EXPECT_EQ(2u, kept.width);
  EXPECT_EQ(1u, kept.height);
}

TEST(LivoxPoints, AppendsAndLeavesSizesAloneWhenNothingIsKept)
{
  const LivoxPointFilter f;
  Cloud out;
  const std::vector<CustomPoint> none = {point(1, 0, 0, 0), point(0, 0, 0, 1)};
  sweepmend::keep_livox_points(none.data(), none.size(), f, out);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(0u, out.width);
  EXPECT_EQ(0u, out.height);
  const std::vector<CustomPoint> two = {point(1, 0, 0, 0), point(1, 0, 0, 1), point(2, 0, 0, 2)};
  sweepmend::keep_livox_points(two.data(), two.size(), f, out);
  sweepmend::keep_livox_points(two.data(), two.size(), f, out);
  EXPECT_EQ(4u, out.size());
  EXPECT_EQ(4u, out.width);
  EXPECT_EQ(1u, out.height);
}

}  // namespace
