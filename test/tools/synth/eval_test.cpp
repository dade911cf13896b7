// The evaluator: reading clouds, exact matching, statistics and the picture, on hand-made
// clouds with known errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "eval/evaluation.hpp"
#include "eval/plot.hpp"

namespace
{

using sweepmend::eval::CloudPoint;
using sweepmend::eval::ErrorStats;
using sweepmend::eval::Evaluator;
using sweepmend::eval::OutputKind;

constexpr int64_t kStamp = 1700000000099995000;

CloudPoint shifted(const CloudPoint & p, float dx, float dy, float dz)
{
  return {p.x + dx, p.y + dy, p.z + dz, p.intensity, p.curvature};
}

sensor_msgs::msg::PointField field(const char * name, uint32_t offset, uint8_t type)
{
  sensor_msgs::msg::PointField f;
  f.name = name;
  f.offset = offset;
  f.datatype = type;
  f.count = 1;
  return f;
}

// A cloud in the layout the node publishes (pcl::PointXYZINormal through toROSMsg).
sensor_msgs::msg::PointCloud2 node_layout_cloud(const std::vector<CloudPoint> & points)
{
  using sensor_msgs::msg::PointField;
  sensor_msgs::msg::PointCloud2 msg;
  msg.height = 1;
  msg.width = static_cast<uint32_t>(points.size());
  msg.fields = {field("x", 0, PointField::FLOAT32), field("y", 4, PointField::FLOAT32),
    field("z", 8, PointField::FLOAT32), field("intensity", 32, PointField::FLOAT32),
    field("normal_x", 16, PointField::FLOAT32), field("normal_y", 20, PointField::FLOAT32),
    field("normal_z", 24, PointField::FLOAT32), field("curvature", 36, PointField::FLOAT32)};
  msg.point_step = 48;
  msg.row_step = 48 * msg.width;
  msg.data.assign(msg.row_step, 0xAB);  // padding and normals hold anything
  for (std::size_t i = 0; i < points.size(); ++i) {
    uint8_t * d = msg.data.data() + 48 * i;
    std::memcpy(d + 0, &points[i].x, 4);
    std::memcpy(d + 4, &points[i].y, 4);
    std::memcpy(d + 8, &points[i].z, 4);
    std::memcpy(d + 32, &points[i].intensity, 4);
    std::memcpy(d + 36, &points[i].curvature, 4);
  }
  return msg;
}

bool same(const CloudPoint & a, const CloudPoint & b)
{
  return a.x == b.x && a.y == b.y && a.z == b.z && a.intensity == b.intensity &&
         a.curvature == b.curvature;
}

TEST(DecodeCloud, ReadsTheNodeOutputLayoutByFieldName)
{
  const std::vector<CloudPoint> points = {{1.5f, -2.0f, 3.25f, 16.0f, 99.995f},
    {-7.0f, 0.5f, 0.0f, 0.0f, 0.005f}};
  const auto decoded = sweepmend::eval::decode_cloud(node_layout_cloud(points));
  ASSERT_EQ(decoded.size(), 2u);
  EXPECT_TRUE(same(decoded[0], points[0]));
  EXPECT_TRUE(same(decoded[1], points[1]));
}

TEST(DecodeCloud, RejectsCloudsItCannotRead)
{
  const std::vector<CloudPoint> points = {{1.0f, 2.0f, 3.0f, 4.0f, 5.0f}};
  auto msg = node_layout_cloud(points);
  msg.fields.pop_back();  // no curvature
  EXPECT_THROW(sweepmend::eval::decode_cloud(msg), std::runtime_error);
  msg = node_layout_cloud(points);
  msg.fields[3].datatype = sensor_msgs::msg::PointField::FLOAT64;
  EXPECT_THROW(sweepmend::eval::decode_cloud(msg), std::runtime_error);
  msg = node_layout_cloud(points);
  msg.fields[7].offset = 46;  // runs past the point
  EXPECT_THROW(sweepmend::eval::decode_cloud(msg), std::runtime_error);
  msg = node_layout_cloud(points);
  msg.width = 2;  // more points than data
  EXPECT_THROW(sweepmend::eval::decode_cloud(msg), std::runtime_error);
  msg = node_layout_cloud(points);
  msg.is_bigendian = true;
  EXPECT_THROW(sweepmend::eval::decode_cloud(msg), std::runtime_error);
}

TEST(ErrorStatistics, MeanNearestRankPercentileAndMax)
{
  std::vector<double> e;
  for (int i = 20; i >= 1; --i) {
    e.push_back(i);
  }
  ErrorStats s = sweepmend::eval::error_stats(e);
  EXPECT_EQ(s.count, 20u);
  EXPECT_DOUBLE_EQ(s.mean, 10.5);
  EXPECT_DOUBLE_EQ(s.p95, 19.0);  // 19 of 20 values are at most 19
  EXPECT_DOUBLE_EQ(s.max, 20.0);
  e.clear();
  for (int i = 0; i < 100; ++i) {
    e.push_back((i * 37) % 100);  // 0..99 in a scrambled order
  }
  s = sweepmend::eval::error_stats(e);
  EXPECT_DOUBLE_EQ(s.p95, 94.0);
  s = sweepmend::eval::error_stats({0.25});
  EXPECT_DOUBLE_EQ(s.mean, 0.25);
  EXPECT_DOUBLE_EQ(s.p95, 0.25);
  EXPECT_EQ(sweepmend::eval::error_stats({}).count, 0u);
}

TEST(ErrorStatistics, HistogramAgreesWithTheExactStatistics)
{
  std::vector<double> e;
  uint64_t x = 12345;
  for (int i = 0; i < 5000; ++i) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    e.push_back(static_cast<double>(x >> 11) * 0x1.0p-53 * 2.0);  // [0, 2) m
  }
  sweepmend::eval::ErrorHistogram h;
  h.add(e);
  const ErrorStats exact = sweepmend::eval::error_stats(e);
  const ErrorStats approx = h.stats();
  EXPECT_EQ(approx.count, exact.count);
  EXPECT_NEAR(approx.mean, exact.mean, 1e-12);
  EXPECT_EQ(approx.max, exact.max);
  EXPECT_NEAR(approx.p95, exact.p95, 1e-5);
  EXPECT_GE(approx.p95, exact.p95);

  // Errors beyond the histogram's range still count, and the percentile falls back to the max.
  sweepmend::eval::ErrorHistogram far;
  for (int i = 0; i < 10; ++i) {
    far.add(i < 2 ? 0.001 : 25.0 + i);
  }
  EXPECT_EQ(far.stats().count, 10u);
  EXPECT_DOUBLE_EQ(far.stats().p95, 34.0);
  EXPECT_DOUBLE_EQ(far.stats().max, 34.0);
}

// Four truth points, two of them at the same time (as the rings of one column are).
std::vector<CloudPoint> truth_points()
{
  return {{1.0f, 0.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 2.0f, 0.0f, 0.0f, 0.005f},
    {0.0f, 0.0f, 3.0f, 0.0f, 0.01f}, {4.0f, 0.0f, 0.0f, 1.0f, 0.01f}};
}

TEST(Evaluator, MatchesByTimeAndIntensityNotByPosition)
{
  const auto truth = truth_points();
  Evaluator ev;
  ev.add_truth(kStamp, truth);
  // Raw: reordered, the first point dropped, one point with no truth, and one at another
  // point's place (matched by its time and intensity, so its error is large).
  ev.add_output(OutputKind::kRaw, kStamp + 300, {
      shifted(truth[3], 0.0f, 0.0f, 0.5f),
      {9.0f, 9.0f, 9.0f, 7.0f, 0.02f},
      shifted(truth[1], 0.3f, 0.4f, 0.0f),
      {4.0f, 0.0f, 0.0f, 0.0f, 0.01f}});
  ev.add_output(OutputKind::kUndistorted, kStamp - 200, {
      shifted(truth[2], 0.0f, 0.0f, 0.03f), shifted(truth[0], 0.01f, 0.0f, 0.0f),
      shifted(truth[3], 0.04f, 0.0f, 0.0f), shifted(truth[1], 0.0f, 0.02f, 0.0f)});
  ev.finish();

  const auto scans = ev.scans();
  ASSERT_EQ(scans.size(), 1u);
  const auto & s = scans[0];
  EXPECT_EQ(s.stamp_ns, kStamp);
  EXPECT_EQ(s.truth_points, 4u);
  ASSERT_TRUE(s.raw.present);
  EXPECT_EQ(s.raw.points, 4u);
  EXPECT_EQ(s.raw.unmatched, 1u);
  EXPECT_EQ(s.raw.missing, 1u);
  EXPECT_EQ(s.raw.stats.count, 3u);
  EXPECT_NEAR(s.raw.stats.mean, (0.5 + 0.5 + 5.0) / 3.0, 1e-6);
  EXPECT_NEAR(s.raw.stats.p95, 5.0, 1e-6);
  EXPECT_NEAR(s.raw.stats.max, 5.0, 1e-6);
  ASSERT_TRUE(s.undistorted.present);
  EXPECT_EQ(s.undistorted.unmatched, 0u);
  EXPECT_EQ(s.undistorted.missing, 0u);
  EXPECT_NEAR(s.undistorted.stats.mean, 0.025, 1e-6);
  EXPECT_NEAR(s.undistorted.stats.p95, 0.04, 1e-6);
  EXPECT_NEAR(s.undistorted.stats.max, 0.04, 1e-6);

  const auto sum = ev.summary();
  EXPECT_EQ(sum.truth_scans, 1u);
  EXPECT_EQ(sum.paired_scans, 1u);
  EXPECT_EQ(sum.unmatched_points, 1u);
  EXPECT_EQ(sum.missing_points, 0u);
  EXPECT_EQ(sum.raw.count, 3u);
  EXPECT_NEAR(sum.raw.mean, 2.0, 1e-6);
  EXPECT_NEAR(sum.undistorted.mean, 0.025, 1e-6);
  EXPECT_NEAR(sum.undistorted.p95, 0.04, 1e-5);
}

TEST(Evaluator, CloudsInAnyOrderAndCloudsWithoutTruth)
{
  const auto truth = truth_points();
  std::vector<CloudPoint> off;
  for (const auto & p : truth) {
    off.push_back(shifted(p, 0.0f, 0.0f, 1.0f));
  }
  Evaluator ev;
  const int64_t s1 = kStamp;
  const int64_t s2 = kStamp + 100000000;
  // Scan 1 has only a raw cloud (the node's first scan initialises it).
  ev.add_truth(s1, truth);
  ev.add_output(OutputKind::kRaw, s1, off);
  // Scan 2's outputs come before its truth.
  ev.add_output(OutputKind::kUndistorted, s2 + 5, truth);
  ev.add_output(OutputKind::kRaw, s2 - 5, off);
  // 2 ms away from any truth: not matched.
  ev.add_output(OutputKind::kRaw, s2 + 2000000, off);
  ev.add_truth(s2, truth);
  // A second copy of a scored cloud changes nothing.
  ev.add_output(OutputKind::kRaw, s2, truth);
  ev.finish();

  const auto scans = ev.scans();
  ASSERT_EQ(scans.size(), 2u);
  EXPECT_EQ(scans[0].stamp_ns, s1);
  EXPECT_EQ(scans[0].index, 0u);
  EXPECT_TRUE(scans[0].raw.present);
  EXPECT_FALSE(scans[0].undistorted.present);
  EXPECT_NEAR(scans[0].raw.stats.mean, 1.0, 1e-6);
  EXPECT_EQ(scans[1].index, 1u);
  EXPECT_NEAR(scans[1].raw.stats.mean, 1.0, 1e-6);
  EXPECT_EQ(scans[1].undistorted.stats.mean, 0.0);

  const auto sum = ev.summary();
  EXPECT_EQ(sum.truth_scans, 2u);
  EXPECT_EQ(sum.paired_scans, 1u);
  EXPECT_EQ(sum.raw_only_scans, 1u);
  EXPECT_EQ(sum.unmatched_clouds, 1u);
  EXPECT_EQ(sum.unmatched_points, 4u);
  // Totals cover the paired scan only.
  EXPECT_EQ(sum.raw.count, 4u);
  EXPECT_EQ(sum.undistorted.count, 4u);
}

TEST(Evaluator, KeepsTheScanToDraw)
{
  const auto truth = truth_points();
  auto run = [&](long keep) {
      Evaluator::Options options;
      options.keep_scan = keep;
      Evaluator ev(options);
      const float raw_error[3] = {0.1f, 0.5f, 0.2f};
      for (int k = 0; k < 3; ++k) {
        const int64_t stamp = kStamp + k * 100000000LL;
        std::vector<CloudPoint> raw;
        for (const auto & p : truth) {
          raw.push_back(shifted(p, raw_error[k], 0.0f, 0.0f));
        }
        ev.add_truth(stamp, truth);
        ev.add_output(OutputKind::kRaw, stamp, raw);
        ev.add_output(OutputKind::kUndistorted, stamp, truth);
      }
      ev.finish();
      return ev.kept_scan() ? static_cast<long>(ev.kept_scan()->score.index) : -100L;
    };
  EXPECT_EQ(run(-1), 1);  // the largest raw error
  EXPECT_EQ(run(2), 2);
  EXPECT_EQ(run(-2), -100);
  EXPECT_EQ(run(7), -100);
}

TEST(Plot, WritesAPngOfTheRequestedSize)
{
  sweepmend::eval::ScanPoints scan;
  for (int i = 0; i < 2000; ++i) {
    const double a = i * 0.0031415;
    const CloudPoint p{static_cast<float>(20.0 * std::cos(a)), static_cast<float>(12.0 * std::sin(a)),
      0.0f, 0.0f, static_cast<float>(i * 0.005)};
    scan.truth.push_back(p);
    scan.undistorted.push_back(shifted(p, 0.02f, 0.0f, 0.0f));
    scan.raw.push_back(shifted(p, 0.0f, 0.8f, 0.0f));
  }
  scan.score.raw.present = scan.score.undistorted.present = true;
  const std::string path =
    (std::filesystem::temp_directory_path() / "sweepmend_eval_plot_test.png").string();
  sweepmend::eval::draw_top_view(scan, path);
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> head(24);
  in.read(reinterpret_cast<char *>(head.data()), 24);
  ASSERT_TRUE(in);
  const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  EXPECT_TRUE(std::equal(signature, signature + 8, head.begin()));
  const auto be32 = [&](int at) {
      return (head[at] << 24) | (head[at + 1] << 16) | (head[at + 2] << 8) | head[at + 3];
    };
  EXPECT_EQ(be32(16), 1400);
  EXPECT_EQ(be32(20), 1200);
  std::filesystem::remove(path);

  EXPECT_THROW(sweepmend::eval::draw_top_view(scan, "/nonexistent-dir/x.png"), std::runtime_error);
}

}  // namespace
