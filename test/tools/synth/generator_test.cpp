// The recording as a whole: message order, timing, IMU units and noise, determinism, the bag,
// and the node settings that go with it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "cdr/cdr.hpp"
#include "storage/bag.hpp"
#include "synth/generator.hpp"
#include "synth/recording.hpp"

namespace
{

namespace fs = std::filesystem;
using sweepmend::synth::Generator;
using sweepmend::synth::ImuUnits;
using sweepmend::synth::Lidar;
using sweepmend::synth::Motion;
using sweepmend::synth::SynthConfig;
using sweepmend::synth::SynthMessage;

int64_t stamp_ns(const builtin_interfaces::msg::Time & t)
{
  return static_cast<int64_t>(t.sec) * 1000000000 + t.nanosec;
}

std::vector<uint8_t> bytes_of(const SynthMessage & m)
{
  switch (m.kind) {
    case SynthMessage::Kind::kImu: return sweepmend::cdr::serialize(*m.imu);
    case SynthMessage::Kind::kLivoxScan: return sweepmend::cdr::serialize(*m.livox);
    default: return sweepmend::cdr::serialize(*m.cloud);
  }
}

class TempDir
{
public:
  TempDir()
  {
    path_ = fs::temp_directory_path() /
      ("synth_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
      ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {fs::remove_all(path_);}
  fs::path operator/(const std::string & name) const {return path_ / name;}

private:
  fs::path path_;
};

std::map<std::string, std::string> files_of(const fs::path & dir)
{
  std::map<std::string, std::string> files;
  for (const auto & e : fs::directory_iterator(dir)) {
    std::ifstream in(e.path(), std::ios::binary);
    files[e.path().filename().string()] =
      std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

TEST(Generator, StreamsInReceiveOrderWithTruthAfterEachScan)
{
  SynthConfig config = SynthConfig::defaults(Lidar::kMid360, Motion::kWalk);
  config.duration = 1.05;
  Generator gen(config);
  EXPECT_EQ(gen.scan_count(), 10u);
  SynthMessage m;
  int64_t last_receive = INT64_MIN;
  int64_t last_imu = 0;
  int64_t last_truth = 0;
  std::size_t scans = 0;
  std::size_t imus = 0;
  bool expect_truth = false;
  int64_t scan_stamp = 0;
  while (gen.next(m)) {
    EXPECT_GE(m.receive_time_ns, last_receive);
    last_receive = m.receive_time_ns;
    if (expect_truth) {
      ASSERT_EQ(m.kind, SynthMessage::Kind::kTruth);
      EXPECT_STREQ(m.topic, "/sweepmend/ground_truth");
      last_truth = stamp_ns(m.cloud->header.stamp);
      EXPECT_EQ(last_truth, scan_stamp + 99995000);
      expect_truth = false;
      continue;
    }
    if (m.kind == SynthMessage::Kind::kImu) {
      EXPECT_STREQ(m.topic, "/livox/imu");
      const int64_t s = stamp_ns(m.imu->header.stamp);
      if (imus > 0) {
        EXPECT_EQ(s - last_imu, 5000000);  // 200 Hz
      }
      EXPECT_EQ(m.receive_time_ns, s);
      last_imu = s;
      ++imus;
    } else {
      ASSERT_EQ(m.kind, SynthMessage::Kind::kLivoxScan);
      EXPECT_STREQ(m.topic, "/livox/lidar");
      scan_stamp = stamp_ns(m.livox->header.stamp);
      EXPECT_EQ(scan_stamp, config.start_time_ns + static_cast<int64_t>(scans) * 100000000);
      // Sent when the scan is complete.
      EXPECT_EQ(m.receive_time_ns, scan_stamp + 100000000);
      ++scans;
      expect_truth = true;
    }
  }
  EXPECT_EQ(scans, 10u);
  EXPECT_EQ(imus, gen.imu_count());
  // The IMU reaches past the last scan's end, so that the node can group it.
  EXPECT_GT(last_imu, last_truth + 20000000);
}

TEST(Generator, SameConfigurationSameBytesOtherSeedOtherScans)
{
  SynthConfig config = SynthConfig::defaults(Lidar::kMid360, Motion::kShake);
  config.duration = 0.35;
  config.imu_noise.gyro_sigma = 0.01;
  config.imu_noise.accel_sigma = 0.1;
  config.range_noise = 0.01;
  Generator a(config);
  Generator b(config);
  SynthConfig other = config;
  other.seed = 2;
  Generator c(other);
  SynthMessage ma;
  SynthMessage mb;
  SynthMessage mc;
  std::size_t count = 0;
  std::size_t differing = 0;
  while (a.next(ma)) {
    ASSERT_TRUE(b.next(mb));
    ASSERT_TRUE(c.next(mc));
    const auto bytes = bytes_of(ma);
    ASSERT_EQ(bytes, bytes_of(mb)) << "message " << count;
    differing += bytes != bytes_of(mc);
    ++count;
  }
  EXPECT_FALSE(b.next(mb));
  // Every message carries seeded noise or a seeded scan pattern.
  EXPECT_EQ(differing, count);
}

TEST(Generator, ImuUnitsAndNoise)
{
  SynthConfig config = SynthConfig::defaults(Lidar::kMid360, Motion::kRest);
  config.duration = 12.0;
  const Generator g_units(config);
  config.imu_units = ImuUnits::kMps2;
  const Generator mps2(config);
  // At rest, level, the Livox unit reads 9.81 m/s² in g.
  const auto in_g = g_units.imu_message(3);
  EXPECT_NEAR(in_g.linear_acceleration.z, 9.81 / 9.80665, 1e-12);
  EXPECT_EQ(in_g.header.frame_id, "livox_frame");
  EXPECT_NEAR(mps2.imu_message(3).linear_acceleration.z, 9.81, 1e-12);

  config.imu_noise.gyro_sigma = 0.02;
  config.imu_noise.accel_sigma = 0.3;
  config.imu_noise.gyro_bias = {0.01, -0.02, 0.03};
  config.imu_noise.accel_bias = {0.1, 0.2, -0.3};
  const Generator noisy(config);
  const std::size_t n = noisy.imu_count();
  ASSERT_GT(n, 2000u);
  Eigen::Vector3d sum_g = Eigen::Vector3d::Zero();
  Eigen::Vector3d sum_a = Eigen::Vector3d::Zero();
  Eigen::Vector3d sq_g = Eigen::Vector3d::Zero();
  Eigen::Vector3d sq_a = Eigen::Vector3d::Zero();
  for (std::size_t j = 0; j < n; ++j) {
    const auto m = noisy.imu_message(j);
    const Eigen::Vector3d g(m.angular_velocity.x, m.angular_velocity.y, m.angular_velocity.z);
    const Eigen::Vector3d a = Eigen::Vector3d(m.linear_acceleration.x, m.linear_acceleration.y,
      m.linear_acceleration.z) - Eigen::Vector3d(0.0, 0.0, 9.81);
    sum_g += g;
    sum_a += a;
    sq_g += g.cwiseProduct(g);
    sq_a += a.cwiseProduct(a);
  }
  const double dn = static_cast<double>(n);
  for (int i = 0; i < 3; ++i) {
    const double mean_g = sum_g[i] / dn;
    const double mean_a = sum_a[i] / dn;
    EXPECT_NEAR(mean_g, config.imu_noise.gyro_bias[i], 4 * 0.02 / std::sqrt(dn));
    EXPECT_NEAR(mean_a, config.imu_noise.accel_bias[i], 4 * 0.3 / std::sqrt(dn));
    EXPECT_NEAR(std::sqrt(sq_g[i] / dn - mean_g * mean_g), 0.02, 0.02 * 0.1);
    EXPECT_NEAR(std::sqrt(sq_a[i] / dn - mean_a * mean_a), 0.3, 0.3 * 0.1);
  }
  // Successive draws are independent: no correlation between neighbours.
  double lag = 0.0;
  for (std::size_t j = 1; j < n; ++j) {
    lag += (noisy.imu_message(j).angular_velocity.x - 0.01) *
      (noisy.imu_message(j - 1).angular_velocity.x - 0.01);
  }
  EXPECT_LT(std::abs(lag / dn) / (0.02 * 0.02), 0.1);
}

// Two runs with the same arguments write the same files, byte for byte, in both storages.
TEST(Recording, IsByteIdenticalAndReadsBack)
{
  TempDir tmp;
  SynthConfig config = SynthConfig::defaults(Lidar::kVanjee722, Motion::kSpin);
  config.duration = 0.3;
  config.imu_noise.accel_sigma = 0.05;
  for (const std::string storage : {"mcap", "sqlite3"}) {
    // Same directory name in two places: the data file is named after it.
    const fs::path first_dir = tmp / (storage + "_1") / "recording";
    const fs::path second_dir = tmp / (storage + "_2") / "recording";
    fs::create_directories(first_dir.parent_path());
    fs::create_directories(second_dir.parent_path());
    const auto first = sweepmend::synth::write_recording(config, first_dir.string(), storage);
    sweepmend::synth::write_recording(config, second_dir.string(), storage);
    EXPECT_EQ(first.scans, 3u);
    EXPECT_EQ(first.points, 3u * 38400u);
    EXPECT_EQ(first.truth_points, first.points);
    const auto a = files_of(first_dir);
    const auto b = files_of(second_dir);
    ASSERT_EQ(a.size(), b.size());
    for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
      EXPECT_EQ(ia->first, ib->first);
      EXPECT_TRUE(ia->second == ib->second) << storage << ": " << ia->first << " differs";
    }

    auto reader = sweepmend::bag::Reader::open(first_dir.string());
    std::map<std::string, std::string> types;
    for (const auto & t : reader->topics()) {
      types[t.name] = t.type;
    }
    EXPECT_EQ(types["/livox/lidar"], "sensor_msgs/msg/PointCloud2");
    EXPECT_EQ(types["/livox/imu"], "sensor_msgs/msg/Imu");
    EXPECT_EQ(types["/sweepmend/ground_truth"], "sensor_msgs/msg/PointCloud2");
    const auto counts = reader->message_counts();
    EXPECT_EQ(counts.at("/livox/lidar"), 3u);
    EXPECT_EQ(counts.at("/sweepmend/ground_truth"), 3u);
    EXPECT_EQ(counts.at("/livox/imu"), Generator(config).imu_count());
    // The first scan read back equals the one generated.
    sweepmend::bag::BagMessage m;
    Generator gen(config);
    sweepmend::synth::SimulatedScan scan;
    gen.simulate_scan(0, scan);
    bool found = false;
    while (reader->read_next(m)) {
      if (m.topic == "/livox/lidar") {
        EXPECT_EQ(sweepmend::cdr::deserialize<sensor_msgs::msg::PointCloud2>(m.data),
          gen.vanjee_message(scan));
        found = true;
        break;
      }
    }
    EXPECT_TRUE(found);
  }
}

TEST(Recording, NodeParametersBeyondThePackagesFiles)
{
  SynthConfig config = SynthConfig::defaults(Lidar::kMid360, Motion::kWalk);
  EXPECT_STREQ(sweepmend::synth::node_parameter_file(config), "config/mid360.yaml");
  EXPECT_TRUE(sweepmend::synth::node_parameter_overrides(config).empty());
  config.extrinsic.translation = {0.1, -0.25, 1.0};
  EXPECT_EQ(sweepmend::synth::node_parameter_overrides(config),
    (std::vector<std::string>{"extrinsic_T:=[0.1,-0.25,1.0]"}));

  config = SynthConfig::defaults(Lidar::kVanjee722, Motion::kWalk);
  EXPECT_STREQ(sweepmend::synth::node_parameter_file(config), "config/vanjee722.yaml");
  EXPECT_TRUE(sweepmend::synth::node_parameter_overrides(config).empty());
  // The Mid-360's geometry on the Vanjee: written out in full, as doubles.
  config.extrinsic.translation = {-0.011, -0.02329, 0.04412};
  config.extrinsic.rotation << 0.0, -1.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0;
  EXPECT_EQ(sweepmend::synth::node_parameter_overrides(config),
    (std::vector<std::string>{"extrinsic_T:=[-0.011,-0.02329,0.04412]",
      "extrinsic_R:=[0.0,-1.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0]"}));
}

}  // namespace
