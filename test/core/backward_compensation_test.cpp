// The side-by-side backward pass and the keyed sort against the plain computations they replace:
// equal bit for bit on random scans, including the awkward values (NaN results, signed zeros,
// points before the first record, equal times).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <Eigen/Dense>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "sweepmend/backward_compensation.hpp"

namespace
{

Eigen::Matrix3d random_matrix(std::mt19937_64 & rng, double scale)
{
  std::uniform_real_distribution<double> u(-scale, scale);
  Eigen::Matrix3d m;
  for (int i = 0; i < 9; ++i) {
    m(i) = u(rng);
  }
  return m;
}

Eigen::Vector3d random_vector(std::mt19937_64 & rng, double scale)
{
  std::uniform_real_distribution<double> u(-scale, scale);
  return Eigen::Vector3d(u(rng), u(rng), u(rng));
}

// A pose list as the forward pass makes it: start record, then records at rising times (ms
// apart), attitudes near the identity but not orthonormal.
std::vector<IMUPose> random_poses(std::mt19937_64 & rng, int count, double first_time)
{
  std::vector<IMUPose> poses;
  poses.push_back(
    IMUPose{0.0, Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero(),
      Eigen::Vector3d::Zero(), Eigen::Matrix3d::Identity()});
  double t = first_time;
  for (int k = 1; k < count; ++k) {
    IMUPose p;
    p.pose_time = t;
    p.acc = random_vector(rng, 3.0);
    p.gyr = random_vector(rng, 2.0);
    p.vel = random_vector(rng, 1.5);
    p.pos = random_vector(rng, 0.2);
    p.rot = Eigen::Matrix3d::Identity() + random_matrix(rng, 0.05);
    poses.push_back(p);
    t += 0.005;
  }
  return poses;
}

CompensationFrame random_frame(std::mt19937_64 & rng)
{
  CompensationFrame f;
  f.ext_r = Eigen::AngleAxisd(0.4, random_vector(rng, 1.0).normalized()).toRotationMatrix() +
    random_matrix(rng, 1e-3);
  f.ext_r_t = f.ext_r.transpose();
  f.ext_t = random_vector(rng, 0.05);
  f.rot_end_t = (Eigen::Matrix3d::Identity() + random_matrix(rng, 0.05)).transpose();
  f.pos_end = random_vector(rng, 0.3);
  return f;
}

// Points sorted by time from before the scan start (negative) to past the last record.
std::vector<pcl::PointXYZINormal> random_points(std::mt19937_64 & rng, std::size_t n)
{
  std::uniform_real_distribution<float> coord(-30.0f, 30.0f);
  std::uniform_real_distribution<float> ms(-3.0f, 110.0f);
  std::vector<pcl::PointXYZINormal> points(n);
  for (auto & p : points) {
    p.x = coord(rng);
    p.y = coord(rng);
    p.z = coord(rng);
    p.intensity = 7.0f;
    p.curvature = ms(rng);
  }
  std::sort(
    points.begin(), points.end(),
    [](const auto & a, const auto & b) {return a.curvature < b.curvature;});
  return points;
}

template<typename Points>
void expect_same_bytes(const Points & got, const Points & want)
{
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(0, std::memcmp(&got[i], &want[i], sizeof(pcl::PointXYZINormal))) <<
      "point " << i << ": got (" << got[i].x << ", " << got[i].y << ", " << got[i].z <<
      "), want (" << want[i].x << ", " << want[i].y << ", " << want[i].z << ")";
  }
}

void expect_same_reports(
  const std::vector<NanCompensation> & got, const std::vector<NanCompensation> & want)
{
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].index, want[i].index);
    EXPECT_EQ(0, std::memcmp(got[i].value.data(), want[i].value.data(), 3 * sizeof(double)));
  }
}

// Runs both passes on copies of the same points and compares everything they produce.
void compare(
  const std::vector<IMUPose> & poses, const CompensationFrame & frame,
  const std::vector<pcl::PointXYZINormal> & points)
{
  auto plain = points;
  std::vector<NanCompensation> plain_nans;
  // The float store hides almost every difference in the last bits of the double results, so
  // those are compared too.
  std::vector<double> plain_exact(3 * points.size(), 0.0);
  compensate_backward_reference(
    poses, frame, plain.data(), plain.size(), plain_nans, plain_exact.data());
  // Every width this processor runs, not only the one the pass picks for it.
  for (int lanes : compensation_lane_widths()) {
    SCOPED_TRACE(::testing::Message() << lanes << " lanes");
    auto fast = points;
    std::vector<NanCompensation> fast_nans;
    std::vector<double> fast_exact(3 * points.size(), 0.0);
    compensate_backward_lanes(
      lanes, poses, frame, fast.data(), fast.size(), fast_nans, fast_exact.data());
    expect_same_bytes(fast, plain);
    expect_same_reports(fast_nans, plain_nans);
    for (std::size_t i = 0; i < fast_exact.size(); ++i) {
      ASSERT_EQ(0, std::memcmp(&fast_exact[i], &plain_exact[i], sizeof(double))) <<
        "point " << i / 3 << " coordinate " << i % 3 << ": " << fast_exact[i] << " vs " <<
        plain_exact[i];
    }
  }
}

TEST(BackwardCompensationTest, EqualsThePlainEigenPassBitForBitOnRandomScans)
{
  std::mt19937_64 rng(20240611);
  // Sizes around the lane widths so that every partial batch is met.
  for (std::size_t n : {1u, 2u, 3u, 5u, 7u, 8u, 9u, 15u, 17u, 33u, 257u, 4001u}) {
    for (int trial = 0; trial < 4; ++trial) {
      SCOPED_TRACE(::testing::Message() << n << " points, trial " << trial);
      const auto poses = random_poses(rng, 2 + trial * 7, trial == 1 ? -0.002 : 0.003);
      compare(poses, random_frame(rng), random_points(rng, n));
    }
  }
}

TEST(BackwardCompensationTest, MovesOnlyPointsAfterTheFirstRecordAndReportsNothingForFiniteResults)
{
  std::mt19937_64 rng(7);
  const auto poses = random_poses(rng, 22, 0.004);
  const auto frame = random_frame(rng);
  auto points = random_points(rng, 3000);
  const auto before = points;
  std::vector<NanCompensation> nans;
  compensate_backward(poses, frame, points.data(), points.size(), nans);
  EXPECT_TRUE(nans.empty());
  std::size_t moved = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (before[i].curvature / 1000.0 > 0.0) {
      moved += points[i].x != before[i].x || points[i].y != before[i].y;
    } else {
      EXPECT_EQ(0, std::memcmp(&points[i], &before[i], sizeof(points[i]))) << "point " << i;
    }
    EXPECT_EQ(points[i].curvature, before[i].curvature);
    EXPECT_EQ(points[i].intensity, before[i].intensity);
  }
  EXPECT_GT(moved, 2500u);
}

TEST(BackwardCompensationTest, NanResultsAreReportedLastPointFirstAsThePlainPassDoes)
{
  std::mt19937_64 rng(99);
  auto poses = random_poses(rng, 12, 0.004);
  // An infinite rate in two intervals turns their points into NaN (inf - inf, 0 * inf).
  poses[4].gyr.x() = std::numeric_limits<double>::infinity();
  poses[9].gyr.z() = -std::numeric_limits<double>::infinity();
  const auto frame = random_frame(rng);
  auto points = random_points(rng, 999);
  std::vector<NanCompensation> nans;
  auto copy = points;
  compensate_backward(poses, frame, copy.data(), copy.size(), nans);
  ASSERT_GT(nans.size(), 10u);
  for (std::size_t i = 1; i < nans.size(); ++i) {
    EXPECT_GT(nans[i - 1].index, nans[i].index);
  }
  compare(poses, frame, points);
}

TEST(BackwardCompensationTest, SignedZerosAndAnIdentityFrameGiveTheSameBits)
{
  // Zero rates and accelerations make the skew matrix and its products signed zeros; a pass
  // that skipped or folded them would differ in the sign of exact-zero coordinates.
  std::vector<IMUPose> poses(3);
  for (std::size_t k = 0; k < poses.size(); ++k) {
    poses[k] = IMUPose{0.01 * static_cast<double>(k), Eigen::Vector3d(0.0, -0.0, 0.0),
      Eigen::Vector3d(-0.0, 0.0, -0.0), Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero(),
      Eigen::Matrix3d::Identity()};
  }
  CompensationFrame frame;
  frame.ext_r = Eigen::Matrix3d::Identity();
  frame.ext_r_t = Eigen::Matrix3d::Identity();
  frame.ext_t = Eigen::Vector3d::Zero();
  frame.rot_end_t = Eigen::Matrix3d::Identity();
  frame.pos_end = Eigen::Vector3d(0.0, -0.0, 0.0);
  std::vector<pcl::PointXYZINormal> points(40);
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i].x = (i % 3 == 0) ? -0.0f : 1.5f;
    points[i].y = (i % 2 == 0) ? 0.0f : -0.0f;
    points[i].z = -2.0f;
    points[i].curvature = 0.5f * static_cast<float>(i);
  }
  compare(poses, frame, points);
}

// ---- keyed sort ----

pcl::PointCloud<pcl::PointXYZINormal> scan_of(const std::vector<float> & times)
{
  pcl::PointCloud<pcl::PointXYZINormal> scan;
  for (std::size_t i = 0; i < times.size(); ++i) {
    pcl::PointXYZINormal p;
    p.x = static_cast<float>(i);  // tells the points apart
    p.y = -static_cast<float>(i);
    p.curvature = times[i];
    scan.push_back(p);
  }
  scan.header.frame_id = "scan_frame";
  scan.header.seq = 42;
  scan.header.stamp = 123456;
  scan.sensor_origin_ = Eigen::Vector4f(1, 2, 3, 0);
  scan.sensor_orientation_ = Eigen::Quaternionf(0.5f, 0.5f, 0.5f, 0.5f);
  return scan;
}

void expect_sorted_like_std_sort(const pcl::PointCloud<pcl::PointXYZINormal> & scan)
{
  auto want = scan;
  std::sort(
    want.points.begin(), want.points.end(),
    [](const auto & a, const auto & b) {return a.curvature < b.curvature;});
  pcl::PointCloud<pcl::PointXYZINormal> got;
  got.push_back(pcl::PointXYZINormal());  // whatever the buffer held before goes
  std::vector<CurvatureKey> keys;
  copy_sorted_by_curvature(scan, got, keys);
  expect_same_bytes(got.points, want.points);
  EXPECT_EQ(got.width, want.width);
  EXPECT_EQ(got.height, want.height);
  EXPECT_EQ(got.is_dense, want.is_dense);
  EXPECT_EQ(got.header.frame_id, want.header.frame_id);
  EXPECT_EQ(got.header.seq, want.header.seq);
  EXPECT_EQ(got.header.stamp, want.header.stamp);
  EXPECT_EQ(got.sensor_origin_, want.sensor_origin_);
  EXPECT_EQ(got.sensor_orientation_.coeffs(), want.sensor_orientation_.coeffs());

  // The same order for a copy that is already there, made where it lies.
  auto in_place = scan.points;
  sort_copy_by_curvature(scan, in_place.data(), keys);
  expect_same_bytes(in_place, want.points);
}

TEST(CopySortedByCurvatureTest, TiedTimesComeOutInTheUnstableSortsOrder)
{
  // The Vanjee fires 32 points at each time; std::sort then reorders points of equal time.
  std::mt19937_64 rng(3);
  for (std::size_t groups : {1u, 3u, 40u, 1200u}) {
    std::vector<float> times;
    for (std::size_t g = 0; g < groups; ++g) {
      for (int k = 0; k < 32; ++k) {
        times.push_back(0.0026f * static_cast<float>(g));
      }
    }
    SCOPED_TRACE(groups);
    expect_sorted_like_std_sort(scan_of(times));
    std::shuffle(times.begin(), times.end(), rng);
    expect_sorted_like_std_sort(scan_of(times));
  }
}

TEST(CopySortedByCurvatureTest, RisingReversedAndAlmostSortedScans)
{
  std::vector<float> rising, reversed, one_tie, one_swap;
  for (int i = 0; i < 5000; ++i) {
    rising.push_back(0.005f * static_cast<float>(i));
    reversed.push_back(100.0f - 0.005f * static_cast<float>(i));
  }
  one_tie = rising;
  one_tie[4000] = one_tie[3999];
  one_swap = rising;
  std::swap(one_swap[17], one_swap[18]);
  expect_sorted_like_std_sort(scan_of(rising));
  expect_sorted_like_std_sort(scan_of(reversed));
  expect_sorted_like_std_sort(scan_of(one_tie));
  expect_sorted_like_std_sort(scan_of(one_swap));
  expect_sorted_like_std_sort(scan_of({}));
  expect_sorted_like_std_sort(scan_of({3.0f}));
}

}  // namespace
