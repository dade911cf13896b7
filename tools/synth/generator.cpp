#include "synth/generator.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "synth/rng.hpp"

namespace sweepmend
{
namespace synth
{

namespace
{

constexpr uint64_t kRangeNoiseStream = 0x72616e6765;  // "range"
constexpr uint32_t kVanjeePointStep = 26;
constexpr uint32_t kTruthPointStep = 20;

builtin_interfaces::msg::Time to_stamp(int64_t ns)
{
  builtin_interfaces::msg::Time t;
  int64_t sec = ns / 1000000000;
  int64_t rem = ns % 1000000000;
  if (rem < 0) {
    rem += 1000000000;
    --sec;
  }
  t.sec = static_cast<int32_t>(sec);
  t.nanosec = static_cast<uint32_t>(rem);
  return t;
}

sensor_msgs::msg::PointField field(const char * name, uint32_t offset, uint8_t datatype)
{
  sensor_msgs::msg::PointField f;
  f.name = name;
  f.offset = offset;
  f.datatype = datatype;
  f.count = 1;
  return f;
}

template<typename T>
void put(uint8_t * dst, T value)
{
  std::memcpy(dst, &value, sizeof(T));
}

}  // namespace

SynthConfig SynthConfig::defaults(Lidar lidar, Motion motion)
{
  SynthConfig c;
  c.lidar = lidar;
  c.motion = motion;
  c.motion_params = MotionParams::preset(motion);
  if (lidar == Lidar::kMid360) {
    c.imu_units = ImuUnits::kG;
    c.extrinsic = Extrinsic::mid360();
  } else {
    c.imu_units = ImuUnits::kMps2;
    c.extrinsic = Extrinsic{};
  }
  return c;
}

Generator::Generator(const SynthConfig & config)
: config_(config), trajectory_(config.motion_params), scene_(Scene::hall())
{
  const double scans = std::floor(std::max(config_.duration, 0.0) * 10.0 + 1e-9);
  scan_count_ = static_cast<std::size_t>(scans);
  const int64_t imu_end = static_cast<int64_t>(scan_count_) * kScanPeriodNs + kImuTailNs;
  imu_count_ = scan_count_ == 0 ? 0 :
    static_cast<std::size_t>((imu_end - kImuPhaseNs) / kImuPeriodNs + 1);
}

int64_t Generator::scan_stamp_ns(std::size_t k) const
{
  return config_.start_time_ns + static_cast<int64_t>(k) * kScanPeriodNs;
}

int64_t Generator::imu_stamp_ns(std::size_t j) const
{
  return config_.start_time_ns + kImuPhaseNs + static_cast<int64_t>(j) * kImuPeriodNs;
}

double Generator::trajectory_time(int64_t stamp_ns) const
{
  return static_cast<double>(stamp_ns - config_.start_time_ns) * 1e-9;
}

void Generator::simulate_scan(std::size_t k, SimulatedScan & scan) const
{
  std::vector<Beam> beams;
  scan_beams(config_.lidar, config_.seed, k, beams);

  scan.index = k;
  scan.stamp_ns = scan_stamp_ns(k);
  const double t0 = trajectory_time(scan.stamp_ns);
  scan.end_offset = beams.empty() ? 0.0 : beams.back().offset;
  scan.end_stamp_ns = scan.stamp_ns + std::llround(scan.end_offset * 1e9);

  const Eigen::Isometry3d end_pose_inv = trajectory_.pose(t0 + scan.end_offset).inverse();
  const Extrinsic & ext = config_.extrinsic;
  const bool livox = config_.lidar == Lidar::kMid360;
  const uint64_t first_point = static_cast<uint64_t>(k) * beams.size();

  scan.points.resize(beams.size());
  for (std::size_t i = 0; i < beams.size(); ++i) {
    const Beam & b = beams[i];
    ScanPoint & p = scan.points[i];
    const Eigen::Isometry3d pose = trajectory_.pose(t0 + b.offset);
    const Scene::Hit hit = scene_.cast(pose.translation(), pose.linear() * b.direction);

    p.offset = b.offset;
    p.offset_ns = b.offset_ns;
    p.channel = b.channel;
    p.valid = hit.hit;
    p.reflectivity = hit.hit ? hit.reflectivity : 0;
    if (hit.hit) {
      double range = hit.range;
      if (config_.range_noise > 0.0) {
        range += config_.range_noise * Rng(config_.seed, kRangeNoiseStream, first_point + i).normal();
      }
      p.measured = (range * b.direction).cast<float>();
      // The truth starts from the coordinates as sent, so that a perfect compensation of the
      // message reproduces it to float precision.
      p.truth = ext.apply(end_pose_inv * (pose * p.measured.cast<double>()));
    } else {
      p.measured.setZero();
      p.truth.setZero();
    }
    // The node's own conversions of the time and intensity fields, bit for bit.
    if (livox) {
      p.curvature = static_cast<float>(p.offset_ns) / 1000000.0f;
      p.intensity = 0.0f;  // the tag byte of a normal point
    } else {
      p.curvature = static_cast<float>(p.offset * 1000.0);
      // A reflectance that also encodes the ring, so that the points of one column (which
      // share a time) stay distinguishable after the node reorders them.
      p.intensity = static_cast<float>(p.reflectivity) + static_cast<float>(p.channel) / 32.0f;
    }
  }
}

sensor_msgs::msg::Imu Generator::imu_message(std::size_t j) const
{
  const int64_t stamp = imu_stamp_ns(j);
  ImuReading reading = ideal_imu(trajectory_.at(trajectory_time(stamp)), config_.extrinsic);
  if (!config_.imu_noise.is_zero()) {
    reading = add_noise(reading, config_.imu_noise, config_.seed, j);
  }
  const double scale = config_.imu_units == ImuUnits::kG ? 1.0 / kStandardGravity : 1.0;

  sensor_msgs::msg::Imu msg;
  msg.header.stamp = to_stamp(stamp);
  msg.header.frame_id = config_.lidar == Lidar::kMid360 ? kLivoxFrame : kVanjeeImuFrame;
  msg.angular_velocity.x = reading.angular_velocity.x();
  msg.angular_velocity.y = reading.angular_velocity.y();
  msg.angular_velocity.z = reading.angular_velocity.z();
  msg.linear_acceleration.x = reading.specific_force.x() * scale;
  msg.linear_acceleration.y = reading.specific_force.y() * scale;
  msg.linear_acceleration.z = reading.specific_force.z() * scale;
  return msg;
}

livox_ros_driver2::msg::CustomMsg Generator::livox_message(const SimulatedScan & scan) const
{
  livox_ros_driver2::msg::CustomMsg msg;
  msg.header.stamp = to_stamp(scan.stamp_ns);
  msg.header.frame_id = kLivoxFrame;
  msg.timebase = static_cast<uint64_t>(scan.stamp_ns);
  msg.point_num = static_cast<uint32_t>(scan.points.size());
  msg.lidar_id = 0;
  msg.points.resize(scan.points.size());
  for (std::size_t i = 0; i < scan.points.size(); ++i) {
    const ScanPoint & p = scan.points[i];
    livox_ros_driver2::msg::CustomPoint & q = msg.points[i];
    q.offset_time = p.offset_ns;
    q.x = p.measured.x();
    q.y = p.measured.y();
    q.z = p.measured.z();
    q.reflectivity = p.reflectivity;
    q.tag = 0;
    q.line = p.channel;
  }
  return msg;
}

sensor_msgs::msg::PointCloud2 Generator::vanjee_message(const SimulatedScan & scan) const
{
  using sensor_msgs::msg::PointField;
  sensor_msgs::msg::PointCloud2 msg;
  msg.header.stamp = to_stamp(scan.stamp_ns);
  msg.header.frame_id = kVanjeeFrame;
  msg.height = 1;
  msg.width = static_cast<uint32_t>(scan.points.size());
  msg.fields = {field("x", 0, PointField::FLOAT32), field("y", 4, PointField::FLOAT32),
    field("z", 8, PointField::FLOAT32), field("intensity", 12, PointField::FLOAT32),
    field("ring", 16, PointField::UINT16), field("timestamp", 18, PointField::FLOAT64)};
  msg.is_bigendian = false;
  msg.point_step = kVanjeePointStep;
  msg.row_step = kVanjeePointStep * msg.width;
  msg.data.assign(static_cast<std::size_t>(msg.row_step), 0);
  for (std::size_t i = 0; i < scan.points.size(); ++i) {
    const ScanPoint & p = scan.points[i];
    uint8_t * d = msg.data.data() + i * kVanjeePointStep;
    put(d + 0, p.measured.x());
    put(d + 4, p.measured.y());
    put(d + 8, p.measured.z());
    put(d + 12, p.intensity);
    put(d + 16, static_cast<uint16_t>(p.channel));
    put(d + 18, p.offset);
  }
  msg.is_dense = true;
  return msg;
}

sensor_msgs::msg::PointCloud2 Generator::truth_message(const SimulatedScan & scan) const
{
  using sensor_msgs::msg::PointField;
  sensor_msgs::msg::PointCloud2 msg;
  msg.header.stamp = to_stamp(scan.end_stamp_ns);
  msg.header.frame_id = config_.lidar == Lidar::kMid360 ? kLivoxFrame : kDefaultOutputFrame;
  const std::size_t n = static_cast<std::size_t>(
    std::count_if(scan.points.begin(), scan.points.end(), [](const ScanPoint & p) {return p.valid;}));
  msg.height = 1;
  msg.width = static_cast<uint32_t>(n);
  msg.fields = {field("x", 0, PointField::FLOAT32), field("y", 4, PointField::FLOAT32),
    field("z", 8, PointField::FLOAT32), field("intensity", 12, PointField::FLOAT32),
    field("curvature", 16, PointField::FLOAT32)};
  msg.is_bigendian = false;
  msg.point_step = kTruthPointStep;
  msg.row_step = kTruthPointStep * msg.width;
  msg.data.assign(static_cast<std::size_t>(msg.row_step), 0);
  uint8_t * d = msg.data.data();
  for (const ScanPoint & p : scan.points) {
    if (!p.valid) {
      continue;
    }
    put(d + 0, static_cast<float>(p.truth.x()));
    put(d + 4, static_cast<float>(p.truth.y()));
    put(d + 8, static_cast<float>(p.truth.z()));
    put(d + 12, p.intensity);
    put(d + 16, p.curvature);
    d += kTruthPointStep;
  }
  msg.is_dense = true;
  return msg;
}

bool Generator::next(SynthMessage & message)
{
  message = SynthMessage{};
  if (pending_truth_) {
    message.kind = SynthMessage::Kind::kTruth;
    message.topic = kTruthTopic;
    message.receive_time_ns = pending_truth_time_;
    message.cloud = std::move(pending_truth_);
    pending_truth_.reset();
    return true;
  }
  const bool have_imu = next_imu_ < imu_count_;
  const bool have_scan = next_scan_ < scan_count_;
  if (!have_imu && !have_scan) {
    return false;
  }
  // A scan is complete, and sent, one period after its first point.
  const int64_t scan_receive = have_scan ? scan_stamp_ns(next_scan_) + kScanPeriodNs : 0;
  if (have_imu && (!have_scan || imu_stamp_ns(next_imu_) <= scan_receive)) {
    message.kind = SynthMessage::Kind::kImu;
    message.topic = kImuTopic;
    message.receive_time_ns = imu_stamp_ns(next_imu_);
    message.imu = std::make_shared<const sensor_msgs::msg::Imu>(imu_message(next_imu_));
    ++next_imu_;
    return true;
  }
  simulate_scan(next_scan_, scratch_);
  message.topic = kLidarTopic;
  message.receive_time_ns = scan_receive;
  if (config_.lidar == Lidar::kMid360) {
    message.kind = SynthMessage::Kind::kLivoxScan;
    message.livox =
      std::make_shared<const livox_ros_driver2::msg::CustomMsg>(livox_message(scratch_));
  } else {
    message.kind = SynthMessage::Kind::kCloudScan;
    message.cloud = std::make_shared<const sensor_msgs::msg::PointCloud2>(vanjee_message(scratch_));
  }
  pending_truth_ = std::make_shared<const sensor_msgs::msg::PointCloud2>(truth_message(scratch_));
  pending_truth_time_ = scan_receive;
  ++next_scan_;
  return true;
}

}  // namespace synth
}  // namespace sweepmend
