// Reading the fixed point layout of PointCloud2 scans: how many points a message yields and what
// one point's bytes become.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "sweepmend/scan_layout.hpp"

namespace
{

using sweepmend::append_point;
using sweepmend::kScanPointBytes;
using sweepmend::read_scan_point;
using sweepmend::scan_point_count;

sensor_msgs::msg::PointCloud2 cloud(uint32_t height, uint32_t width, uint32_t step, size_t bytes)
{
  sensor_msgs::msg::PointCloud2 msg;
  msg.height = height;
  msg.width = width;
  msg.point_step = step;
  msg.row_step = step * width;
  msg.data.assign(bytes, 0);
  return msg;
}

TEST(ScanPointCount, MatchesTheDeclaredSizeWhenTheDataHoldsIt)
{
  EXPECT_EQ(200u, scan_point_count(cloud(2, 100, 32, 200 * 32)));
  EXPECT_EQ(7u, scan_point_count(cloud(1, 7, 26, 7 * 26)));
  EXPECT_EQ(0u, scan_point_count(cloud(0, 100, 32, 0)));
  EXPECT_EQ(0u, scan_point_count(cloud(5, 0, 32, 1000)));
  // More data than declared: only the declared points.
  EXPECT_EQ(3u, scan_point_count(cloud(1, 3, 32, 1000)));
}

TEST(ScanPointCount, StopsAtTheLastPointWhoseBytesLieInsideTheData)
{
  // The last point needs its 26 bytes, not its padding.
  EXPECT_EQ(4u, scan_point_count(cloud(1, 10, 32, 3 * 32 + 26)));
  EXPECT_EQ(3u, scan_point_count(cloud(1, 10, 32, 3 * 32 + 25)));
  EXPECT_EQ(0u, scan_point_count(cloud(1, 10, 32, 25)));
  EXPECT_EQ(3u, scan_point_count(cloud(65535, 65535, 26, 3 * 26)));
}

TEST(ScanPointCount, DeclaredSizeDoesNotWrapAround)
{
  // 65536 × 65536 is 0 in 32 bits.
  EXPECT_EQ(2u, scan_point_count(cloud(65536, 65536, 32, 64)));
  const uint32_t max = std::numeric_limits<uint32_t>::max();
  EXPECT_EQ(1000u, scan_point_count(cloud(max, max, 26, 1000 * 26)));
}

TEST(ScanPointCount, StepTooShortForAPointYieldsNothing)
{
  EXPECT_EQ(0u, scan_point_count(cloud(1, 5000000, 0, 26)));
  EXPECT_EQ(0u, scan_point_count(cloud(1, 100, kScanPointBytes - 1, 100 * 26)));
  EXPECT_EQ(100u, scan_point_count(cloud(1, 100, kScanPointBytes, 100 * 26)));
}

TEST(ReadScanPoint, FieldsAtTheirOffsetsAndTimeInMilliseconds)
{
  uint8_t bytes[kScanPointBytes];
  std::memset(bytes, 0xAB, sizeof(bytes));
  const float x = 1.5f, y = -2.25f, z = 3e-3f, intensity = 42.0f;
  const double time = 0.0123456789;
  std::memcpy(bytes, &x, 4);
  std::memcpy(bytes + 4, &y, 4);
  std::memcpy(bytes + 8, &z, 4);
  std::memcpy(bytes + 12, &intensity, 4);
  std::memcpy(bytes + 18, &time, 8);
  const auto p = read_scan_point(bytes);
  EXPECT_EQ(x, p.x);
  EXPECT_EQ(y, p.y);
  EXPECT_EQ(z, p.z);
  EXPECT_EQ(intensity, p.intensity);
  // Multiplied in double, then rounded once to float.
  EXPECT_EQ(static_cast<float>(time * 1000.0), p.curvature);
  EXPECT_EQ(0.0f, p.normal_x);
  EXPECT_EQ(0.0f, p.normal_y);
  EXPECT_EQ(0.0f, p.normal_z);
}

TEST(ReadScanPoint, TimeBeyondFloatBecomesInfinite)
{
  // The intake then skips the point; the reader itself reports what the bytes say.
  uint8_t bytes[kScanPointBytes] = {};
  const double time = 1e300;
  std::memcpy(bytes + 18, &time, 8);
  EXPECT_TRUE(std::isinf(read_scan_point(bytes).curvature));
}

TEST(AppendPoint, GivesTheBytesAndSizesPushBackGives)
{
  // Over storage that held other points before, as a reused cloud's does.
  pcl::PointCloud<pcl::PointXYZINormal> appended;
  appended.resize(3, pcl::PointXYZINormal(9.f, 9.f, 9.f, 9.f, 9.f, 9.f, 9.f, 9.f));
  appended.clear();
  pcl::PointCloud<pcl::PointXYZINormal> pushed;
  for (int i = 0; i < 3; ++i) {
    uint8_t bytes[kScanPointBytes] = {};
    const float xyzi[4] = {1.5f * i, -2.0f, 0.25f, 40.0f + i};
    const double time = 0.001 * i;
    std::memcpy(bytes, xyzi, sizeof(xyzi));
    std::memcpy(bytes + 18, &time, 8);
    const auto point = read_scan_point(bytes);
    append_point(appended, point);
    pushed.push_back(point);
  }
  ASSERT_EQ(pushed.size(), appended.size());
  EXPECT_EQ(0, std::memcmp(pushed.points.data(), appended.points.data(), 3 * 48));
  EXPECT_EQ(pushed.width, appended.width);
  EXPECT_EQ(pushed.height, appended.height);
}

}  // namespace
