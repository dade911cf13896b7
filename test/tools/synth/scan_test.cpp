// Scan patterns, ray casting, the ground truth of each point, and the scan messages as the
// node reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "synth/generator.hpp"
#include "synth/scan_pattern.hpp"
#include "synth/scene.hpp"

namespace
{

using sweepmend::synth::Beam;
using sweepmend::synth::Generator;
using sweepmend::synth::Lidar;
using sweepmend::synth::Motion;
using sweepmend::synth::Scene;
using sweepmend::synth::ScanPoint;
using sweepmend::synth::SimulatedScan;
using sweepmend::synth::SynthConfig;

constexpr double kDeg = 3.14159265358979323846 / 180.0;
const Eigen::Vector3d kMid360ExtrinsicT(-0.011, -0.02329, 0.04412);

double elevation_deg(const Eigen::Vector3d & d) {return std::asin(d.z()) / kDeg;}
double azimuth_deg(const Eigen::Vector3d & d) {return std::atan2(d.y(), d.x()) / kDeg;}

uint64_t key(float curvature, float intensity)
{
  uint32_t c;
  uint32_t i;
  std::memcpy(&c, &curvature, 4);
  std::memcpy(&i, &intensity, 4);
  return (static_cast<uint64_t>(c) << 32) | i;
}

template<typename T>
T read_at(const std::vector<uint8_t> & data, std::size_t offset)
{
  T v;
  std::memcpy(&v, data.data() + offset, sizeof(T));
  return v;
}

// True when p lies on one of the scene's surfaces: a face of the room or of a box.
bool on_surface(const Scene & scene, const Eigen::Vector3d & p, double tol)
{
  const auto on_box = [&](const sweepmend::synth::Box & b) {
      const bool in_outer = ((p.array() >= b.min.array() - tol).all() &&
        (p.array() <= b.max.array() + tol).all());
      const bool in_inner = ((p.array() > b.min.array() + tol).all() &&
        (p.array() < b.max.array() - tol).all());
      return in_outer && !in_inner;
    };
  return on_box(scene.room()) || std::any_of(scene.obstacles().begin(), scene.obstacles().end(),
           on_box);
}

TEST(ScanPattern, Mid360FiresEvery5MicrosecondsOnFourLinesWithinItsFieldOfView)
{
  std::vector<Beam> beams;
  std::vector<Beam> first;
  for (std::size_t scan : {0u, 1u, 57u}) {
    sweepmend::synth::scan_beams(Lidar::kMid360, 1, scan, beams);
    ASSERT_EQ(beams.size(), 20000u);
    std::vector<int> sectors(36, 0);
    std::vector<int> bands(6, 0);
    for (std::size_t i = 0; i < beams.size(); ++i) {
      const Beam & b = beams[i];
      ASSERT_EQ(b.offset_ns, i * 5000u);
      ASSERT_DOUBLE_EQ(b.offset, i * 5e-6);
      ASSERT_EQ(b.channel, i % 4);
      ASSERT_NEAR(b.direction.norm(), 1.0, 1e-12);
      const double el = elevation_deg(b.direction);
      ASSERT_GE(el, -7.0 - 1e-9);
      ASSERT_LE(el, 52.0 + 1e-9);
      ++sectors[static_cast<int>((azimuth_deg(b.direction) + 180.0) / 10.0) % 36];
      ++bands[std::min(5, static_cast<int>((el + 7.0) / (59.0 / 6.0)))];
    }
    // One scan covers the full circle and the whole vertical field.
    EXPECT_EQ(std::count(sectors.begin(), sectors.end(), 0), 0) << "scan " << scan;
    EXPECT_EQ(std::count(bands.begin(), bands.end(), 0), 0) << "scan " << scan;
    if (scan == 0) {
      first = beams;
    } else {
      // Non-repetitive: a later scan fires in other directions.
      std::size_t same = 0;
      for (std::size_t i = 0; i < beams.size(); ++i) {
        same += (beams[i].direction - first[i].direction).norm() < 1e-6;
      }
      EXPECT_LT(same, 10u) << "scan " << scan;
    }
  }
  // The seed moves the pattern.
  sweepmend::synth::scan_beams(Lidar::kMid360, 2, 0, beams);
  EXPECT_GT((beams[100].direction - first[100].direction).norm(), 1e-6);
}

TEST(ScanPattern, Vanjee722Has32RingsBy1200ColumnsPerTenthOfASecond)
{
  std::vector<Beam> beams;
  sweepmend::synth::scan_beams(Lidar::kVanjee722, 1, 3, beams);
  ASSERT_EQ(beams.size(), 32u * 1200u);
  const double spacing = (50.76 + 12.76) / 31.0;
  for (int c = 0; c < 1200; ++c) {
    for (int r = 0; r < 32; ++r) {
      const Beam & b = beams[static_cast<std::size_t>(c) * 32 + r];
      ASSERT_EQ(b.channel, r);
      ASSERT_DOUBLE_EQ(b.offset, c * (0.1 / 1200.0)) << "column " << c;
      ASSERT_NEAR(elevation_deg(b.direction), -12.76 + r * spacing, 1e-9);
    }
    // Columns 0.3° apart, one turn per scan.
    const double az = azimuth_deg(beams[static_cast<std::size_t>(c) * 32].direction);
    ASSERT_NEAR(std::remainder(az - (-180.0 + 0.3 * (c + 0.5)), 360.0), 0.0, 1e-9);
  }
  EXPECT_NEAR(elevation_deg(beams[0].direction), -12.76, 1e-9);
  EXPECT_NEAR(elevation_deg(beams[31].direction), 50.76, 1e-9);
}

TEST(SceneCast, HitsTheNearestSurface)
{
  const Scene hall = Scene::hall();
  const Eigen::Vector3d o(0.0, 0.0, 1.2);
  Scene::Hit h = hall.cast(o, -Eigen::Vector3d::UnitZ());
  ASSERT_TRUE(h.hit);
  EXPECT_NEAR(h.range, 1.2, 1e-12);
  EXPECT_EQ(h.reflectivity, 40);  // floor
  h = hall.cast(o, Eigen::Vector3d::UnitZ());
  EXPECT_NEAR(h.range, 6.8, 1e-12);  // ceiling between the beams
  h = hall.cast(o, Eigen::Vector3d::UnitX());
  EXPECT_NEAR(h.range, 11.0, 1e-12);  // the crate at x = 11 m
  h = hall.cast(o, Eigen::Vector3d::UnitY());
  EXPECT_NEAR(h.range, 9.7, 1e-12);  // the pillar at y = 10 m
  h = hall.cast(o, -Eigen::Vector3d::UnitX());
  EXPECT_NEAR(h.range, 11.0, 1e-12);  // the other crate at x = −11 m
  // Between the pillars to the end wall, then a diagonal onto the floor.
  h = hall.cast({0.0, 5.0, 1.2}, -Eigen::Vector3d::UnitX());
  EXPECT_NEAR(h.range, 25.0, 1e-12);
  h = hall.cast({0.0, 5.0, 1.2}, Eigen::Vector3d(1.0, 0.0, -1.0).normalized());
  EXPECT_NEAR(h.range, 1.2 * std::sqrt(2.0), 1e-12);
  // From inside a pillar nothing is seen.
  EXPECT_FALSE(hall.cast({10.0, 10.0, 1.0}, Eigen::Vector3d::UnitX()).hit);
}

class ScanTruthTest : public testing::TestWithParam<Lidar> {};

// Each measured point lies on a surface of the hall as seen from the pose at its own time, and
// its truth is the same world point seen from the pose at the scan's end, in the output frame.
TEST_P(ScanTruthTest, TruthIsTheMeasurementMovedByTheRelativePose)
{
  SynthConfig config = SynthConfig::defaults(GetParam(), Motion::kShake);
  const Generator gen(config);
  SimulatedScan scan;
  gen.simulate_scan(40, scan);  // t = 4 s: full motion
  const double t0 = 4.0;
  ASSERT_EQ(scan.stamp_ns, config.start_time_ns + 4000000000);
  const Eigen::Isometry3d end = gen.trajectory().pose(t0 + scan.end_offset);
  const Eigen::Matrix3d ext_r = config.extrinsic.rotation;
  const Eigen::Vector3d ext_t = config.extrinsic.translation;
  std::size_t moved = 0;
  for (std::size_t i = 0; i < scan.points.size(); i += 37) {
    const ScanPoint & p = scan.points[i];
    ASSERT_TRUE(p.valid);
    const Eigen::Isometry3d at = gen.trajectory().pose(t0 + p.offset);
    const Eigen::Vector3d world = at * p.measured.cast<double>();
    ASSERT_TRUE(on_surface(gen.scene(), world, 1e-4)) << "point " << i;
    // Undo the output transform, then look from the end pose into the world.
    const Eigen::Vector3d lidar_end = ext_r.transpose() * (p.truth - ext_t);
    EXPECT_LT((end * lidar_end - world).norm(), 1e-9) << "point " << i;
    moved += (p.truth - (ext_r * p.measured.cast<double>() + ext_t)).norm() > 0.01;
  }
  // The motion is strong enough for the truth to differ from the raw point.
  EXPECT_GT(moved, scan.points.size() / 37 / 2);
}

// While the sensor rests (the first second of every profile), the truth is the measurement in
// the output frame.
TEST_P(ScanTruthTest, AtRestTruthEqualsMeasurement)
{
  for (Motion motion : {Motion::kRest, Motion::kWalk, Motion::kShake, Motion::kDrive}) {
    SynthConfig config = SynthConfig::defaults(GetParam(), motion);
    const Generator gen(config);
    const Eigen::Vector3d t = GetParam() == Lidar::kMid360 ? kMid360ExtrinsicT :
      Eigen::Vector3d::Zero();
    for (std::size_t k : {0u, 5u, 9u}) {
      SimulatedScan scan;
      gen.simulate_scan(k, scan);
      for (const ScanPoint & p : scan.points) {
        ASSERT_TRUE(p.valid);
        ASSERT_LT((p.truth - (p.measured.cast<double>() + t)).norm(), 1e-9)
          << sweepmend::synth::motion_name(motion) << " scan " << k;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
  Sensors, ScanTruthTest, testing::Values(Lidar::kMid360, Lidar::kVanjee722),
  [](const testing::TestParamInfo<Lidar> & info) {
    return std::string(sweepmend::synth::lidar_name(info.param));
  });

// The node tells points apart only by (curvature, intensity): both must be unique within a
// scan when computed from the message exactly as the node computes them, and the truth must
// carry the same pairs.
TEST(ScanMessages, Mid360PointsAreUniqueByTimeAndTag)
{
  const Generator gen(SynthConfig::defaults(Lidar::kMid360, Motion::kWalk));
  SimulatedScan scan;
  gen.simulate_scan(23, scan);
  const auto msg = gen.livox_message(scan);
  EXPECT_EQ(msg.header.frame_id, "livox_frame");
  const uint64_t stamp = static_cast<uint64_t>(msg.header.stamp.sec) * 1000000000u +
    msg.header.stamp.nanosec;
  EXPECT_EQ(msg.timebase, stamp);
  EXPECT_EQ(stamp, 1700000002300000000u);
  ASSERT_EQ(msg.point_num, 20000u);
  ASSERT_EQ(msg.points.size(), 20000u);
  std::set<uint64_t> keys;
  for (std::size_t i = 0; i < msg.points.size(); ++i) {
    const auto & p = msg.points[i];
    EXPECT_EQ(p.offset_time, i * 5000u);
    EXPECT_EQ(p.tag, 0);
    EXPECT_EQ(p.line, i % 4);
    EXPECT_GT(p.reflectivity, 0);
    keys.insert(key(static_cast<float>(p.offset_time) / 1000000.0f, static_cast<float>(p.tag)));
  }
  EXPECT_EQ(keys.size(), msg.points.size());

  const auto truth = gen.truth_message(scan);
  EXPECT_EQ(static_cast<uint64_t>(truth.header.stamp.sec) * 1000000000u +
    truth.header.stamp.nanosec, stamp + 99995000u);
  ASSERT_EQ(truth.width * truth.height, 20000u);
  ASSERT_EQ(truth.fields.size(), 5u);
  EXPECT_EQ(truth.fields[3].name, "intensity");
  EXPECT_EQ(truth.fields[4].name, "curvature");
  std::set<uint64_t> truth_keys;
  for (std::size_t i = 0; i < truth.width; ++i) {
    truth_keys.insert(key(read_at<float>(truth.data, i * truth.point_step + truth.fields[4].offset),
      read_at<float>(truth.data, i * truth.point_step + truth.fields[3].offset)));
  }
  EXPECT_EQ(truth_keys, keys);
}

TEST(ScanMessages, VanjeePointsAreUniqueByTimeAndIntensity)
{
  const Generator gen(SynthConfig::defaults(Lidar::kVanjee722, Motion::kDrive));
  SimulatedScan scan;
  gen.simulate_scan(31, scan);
  const auto msg = gen.vanjee_message(scan);
  ASSERT_EQ(msg.height * msg.width, 38400u);
  ASSERT_GE(msg.point_step, 26u);
  ASSERT_EQ(msg.data.size(), static_cast<std::size_t>(msg.point_step) * 38400u);
  ASSERT_EQ(msg.fields.size(), 6u);
  const std::pair<const char *, uint32_t> expected[] = {
    {"x", 0}, {"y", 4}, {"z", 8}, {"intensity", 12}, {"ring", 16}, {"timestamp", 18}};
  for (std::size_t f = 0; f < 6; ++f) {
    EXPECT_EQ(msg.fields[f].name, expected[f].first);
    EXPECT_EQ(msg.fields[f].offset, expected[f].second);
    EXPECT_EQ(msg.fields[f].count, 1u);
  }
  EXPECT_EQ(msg.fields[5].datatype, sensor_msgs::msg::PointField::FLOAT64);
  EXPECT_EQ(msg.fields[3].datatype, sensor_msgs::msg::PointField::FLOAT32);
  std::set<uint64_t> keys;
  for (std::size_t i = 0; i < 38400; ++i) {
    const std::size_t at = i * msg.point_step;
    const double time = read_at<double>(msg.data, at + 18);
    ASSERT_DOUBLE_EQ(time, static_cast<double>(i / 32) * (0.1 / 1200.0));
    const float intensity = read_at<float>(msg.data, at + 12);
    // The ring is in the fraction of the intensity.
    EXPECT_EQ(std::lround((intensity - std::floor(intensity)) * 32.0f), static_cast<long>(i % 32));
    EXPECT_EQ(read_at<uint16_t>(msg.data, at + 16), i % 32);
    EXPECT_EQ(read_at<float>(msg.data, at), scan.points[i].measured.x());
    keys.insert(key(static_cast<float>(time * 1000.0), intensity));
  }
  EXPECT_EQ(keys.size(), 38400u);

  const auto truth = gen.truth_message(scan);
  const int64_t stamp = static_cast<int64_t>(msg.header.stamp.sec) * 1000000000 +
    msg.header.stamp.nanosec;
  const int64_t truth_stamp = static_cast<int64_t>(truth.header.stamp.sec) * 1000000000 +
    truth.header.stamp.nanosec;
  EXPECT_EQ(truth_stamp - stamp, 99916667);  // last column: 1199/1200 of 0.1 s
  std::set<uint64_t> truth_keys;
  for (std::size_t i = 0; i < truth.width; ++i) {
    truth_keys.insert(key(read_at<float>(truth.data, i * 20 + 16),
      read_at<float>(truth.data, i * 20 + 12)));
  }
  EXPECT_EQ(truth_keys, keys);
}

}  // namespace
