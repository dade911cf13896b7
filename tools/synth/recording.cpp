#include "synth/recording.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cdr/cdr.hpp"
#include "cdr/message_types.hpp"
#include "storage/bag.hpp"

namespace sweepmend
{
namespace synth
{

namespace
{

// The Livox driver offers its shared topics with depth 256 (reliable, volatile); the others
// use the common depth of 10.
constexpr uint32_t kLivoxQosDepth = 256;
constexpr uint32_t kDefaultQosDepth = 10;

// A double as a ROS parameter literal: always with a decimal point, so that the value is typed
// as a double and not as an integer.
std::string double_literal(double v)
{
  char buf[32] = "";
  // Shortest text that reads back as the same double.
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buf, sizeof(buf), "%.*g", precision, v);
    if (std::strtod(buf, nullptr) == v) {
      break;
    }
  }
  std::string s(buf);
  if (s.find_first_of(".eE") == std::string::npos) {
    s += ".0";
  }
  return s;
}

std::string array_literal(const double * v, int n)
{
  std::string s = "[";
  for (int i = 0; i < n; ++i) {
    s += (i ? "," : "") + double_literal(v[i]);
  }
  return s + "]";
}

}  // namespace

RecordingSummary write_recording(const SynthConfig & config, const std::string & directory,
  const std::string & storage_id)
{
  const bool livox = config.lidar == Lidar::kMid360;
  std::unique_ptr<bag::Writer> writer = bag::Writer::create(directory, storage_id);
  const uint32_t sensor_depth = livox ? kLivoxQosDepth : kDefaultQosDepth;

  bag::TopicMetadata lidar_topic;
  lidar_topic.name = kLidarTopic;
  lidar_topic.type = livox ? cdr::message_type_name<livox_ros_driver2::msg::CustomMsg>() :
    cdr::message_type_name<sensor_msgs::msg::PointCloud2>();
  lidar_topic.offered_qos_profiles = bag::qos_profile_yaml(sensor_depth, true, false);
  bag::TopicMetadata imu_topic;
  imu_topic.name = kImuTopic;
  imu_topic.type = cdr::message_type_name<sensor_msgs::msg::Imu>();
  imu_topic.offered_qos_profiles = bag::qos_profile_yaml(sensor_depth, true, false);
  bag::TopicMetadata truth_topic;
  truth_topic.name = kTruthTopic;
  truth_topic.type = cdr::message_type_name<sensor_msgs::msg::PointCloud2>();
  truth_topic.offered_qos_profiles = bag::qos_profile_yaml(kDefaultQosDepth, true, false);
  writer->create_topic(lidar_topic);
  writer->create_topic(imu_topic);
  writer->create_topic(truth_topic);

  RecordingSummary summary;
  Generator generator(config);
  SynthMessage m;
  while (generator.next(m)) {
    switch (m.kind) {
      case SynthMessage::Kind::kImu:
        writer->write(m.topic, m.receive_time_ns, cdr::serialize(*m.imu));
        ++summary.imu_samples;
        break;
      case SynthMessage::Kind::kLivoxScan:
        writer->write(m.topic, m.receive_time_ns, cdr::serialize(*m.livox));
        ++summary.scans;
        summary.points += m.livox->points.size();
        break;
      case SynthMessage::Kind::kCloudScan:
        writer->write(m.topic, m.receive_time_ns, cdr::serialize(*m.cloud));
        ++summary.scans;
        summary.points += static_cast<std::size_t>(m.cloud->width) * m.cloud->height;
        break;
      case SynthMessage::Kind::kTruth:
        writer->write(m.topic, m.receive_time_ns, cdr::serialize(*m.cloud));
        summary.truth_points += m.cloud->width;
        break;
    }
  }
  writer->close();
  return summary;
}

const char * node_parameter_file(const SynthConfig & config)
{
  return config.lidar == Lidar::kMid360 ? "config/mid360.yaml" : "config/vanjee722.yaml";
}

std::vector<std::string> node_parameter_overrides(const SynthConfig & config)
{
  std::vector<std::string> overrides;
  // The file of each sensor holds that sensor's default extrinsic.
  const Extrinsic standard = SynthConfig::defaults(config.lidar, config.motion).extrinsic;
  if (config.extrinsic.translation != standard.translation) {
    const Eigen::Vector3d & t = config.extrinsic.translation;
    overrides.push_back("extrinsic_T:=" + array_literal(t.data(), 3));
  }
  if (config.extrinsic.rotation != standard.rotation) {
    // Row by row, as the node reads it.
    const Eigen::Matrix<double, 3, 3, Eigen::RowMajor> r = config.extrinsic.rotation;
    overrides.push_back("extrinsic_R:=" + array_literal(r.data(), 9));
  }
  return overrides;
}

}  // namespace synth
}  // namespace sweepmend
