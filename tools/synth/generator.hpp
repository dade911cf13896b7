// A synthetic recording: scans, IMU samples and per-scan ground truth, as ROS 2 messages in the
// order a recorder would have received them.
#ifndef SYNTH__GENERATOR_HPP_
#define SYNTH__GENERATOR_HPP_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <Eigen/Core>

#include "livox_ros_driver2/msg/custom_msg.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "synth/imu_model.hpp"
#include "synth/scan_pattern.hpp"
#include "synth/scene.hpp"
#include "synth/trajectory.hpp"

namespace sweepmend
{
namespace synth
{

/// Topics of a recording. The scan topic is the same for both sensors, so that one node
/// configuration (with lidar_type 0 or 1) reads either.
constexpr const char * kLidarTopic = "/livox/lidar";
constexpr const char * kImuTopic = "/livox/imu";
constexpr const char * kTruthTopic = "/sweepmend/ground_truth";

/// Frame names: the Livox driver's fixed frame for scans and IMU; for the Vanjee the truth
/// carries the node's default output frame (parameter frame_id).
constexpr const char * kLivoxFrame = "livox_frame";
constexpr const char * kVanjeeFrame = "vanjee_lidar";
constexpr const char * kVanjeeImuFrame = "vanjee_imu";
constexpr const char * kDefaultOutputFrame = "lidar_link";

/// IMU: 200 Hz, its clock offset from the scans' by 1.25 ms as independent devices are.
constexpr int64_t kImuPeriodNs = 5000000;
constexpr int64_t kImuPhaseNs = 1250000;
/// IMU samples continue this long after the last scan's end so that it can be grouped.
constexpr int64_t kImuTailNs = 50000000;
/// Default time of the first point: 2023-11-14 22:13:20 UTC, ns since the epoch.
constexpr int64_t kDefaultStartTimeNs = 1700000000000000000;

/// Unit of the recorded linear acceleration.
enum class ImuUnits { kG, kMps2 };

/// Everything that determines a recording. Two generators with equal configurations produce
/// identical messages.
struct SynthConfig
{
  Lidar lidar{Lidar::kMid360};
  Motion motion{Motion::kShake};
  MotionParams motion_params{MotionParams::preset(Motion::kShake)};
  double duration{10.0};  ///< s; the recording holds floor(duration / 0.1 s) scans
  uint64_t seed{1};
  ImuUnits imu_units{ImuUnits::kG};
  ImuNoise imu_noise;
  double range_noise{0.0};  ///< m, standard deviation of the measured range of each point
  Extrinsic extrinsic{Extrinsic::mid360()};
  int64_t start_time_ns{kDefaultStartTimeNs};

  /// The defaults of a sensor with the preset of a motion: a Mid-360 reports g and has its IMU
  /// offset as the real unit; the Vanjee reports m/s² with the IMU at the LiDAR's origin.
  static SynthConfig defaults(Lidar lidar, Motion motion);
};

/// One simulated point of a scan.
struct ScanPoint
{
  Eigen::Vector3f measured{Eigen::Vector3f::Zero()};  ///< m, LiDAR frame at the point's time
  /// m, where the point is in the node's output frame (extrinsic applied) at the scan end
  /// time: extrinsic · pose(t_end)⁻¹ · pose(t) · measured.
  Eigen::Vector3d truth{Eigen::Vector3d::Zero()};
  double offset{0.0};       ///< s after the scan stamp
  uint32_t offset_ns{0};    ///< the same, whole ns
  uint8_t channel{0};       ///< Livox line or Vanjee ring
  uint8_t reflectivity{0};
  float curvature{0.0f};    ///< the node's time field for this point, ms
  float intensity{0.0f};    ///< the node's intensity for this point (Livox tag, Vanjee intensity)
  bool valid{false};        ///< false when the beam found no surface (reported as 0, 0, 0)
};

/// One scan with its timing.
struct SimulatedScan
{
  std::size_t index{0};
  int64_t stamp_ns{0};      ///< time of the first point
  double end_offset{0.0};   ///< s, time of the last point after the stamp
  int64_t end_stamp_ns{0};  ///< stamp + end_offset, rounded to ns: the stamp of the truth
  std::vector<ScanPoint> points;  ///< in firing order
};

/// One message of the recording.
struct SynthMessage
{
  enum class Kind { kImu, kLivoxScan, kCloudScan, kTruth };
  Kind kind{Kind::kImu};
  const char * topic{kImuTopic};
  int64_t receive_time_ns{0};  ///< when a recorder would have received it
  std::shared_ptr<const sensor_msgs::msg::Imu> imu;                 ///< kImu
  std::shared_ptr<const livox_ros_driver2::msg::CustomMsg> livox;   ///< kLivoxScan
  std::shared_ptr<const sensor_msgs::msg::PointCloud2> cloud;       ///< kCloudScan, kTruth
};

/// Generates a recording scan by scan; nothing is held beyond the scan being emitted, so
/// recordings of any length stream in constant memory.
class Generator
{
public:
  explicit Generator(const SynthConfig & config);

  const SynthConfig & config() const {return config_;}
  const Trajectory & trajectory() const {return trajectory_;}
  const Scene & scene() const {return scene_;}

  std::size_t scan_count() const {return scan_count_;}
  std::size_t imu_count() const {return imu_count_;}
  int64_t scan_stamp_ns(std::size_t k) const;
  int64_t imu_stamp_ns(std::size_t j) const;
  /// Trajectory time (s since the start of the recording) of an absolute stamp.
  double trajectory_time(int64_t stamp_ns) const;

  /// Casts every beam of scan k into the scene from the pose at the beam's own time.
  void simulate_scan(std::size_t k, SimulatedScan & scan) const;

  /// IMU sample j, noise and units applied as configured.
  sensor_msgs::msg::Imu imu_message(std::size_t j) const;
  /// The scan as the Mid-360's driver publishes it (header.stamp = timebase = first point).
  livox_ros_driver2::msg::CustomMsg livox_message(const SimulatedScan & scan) const;
  /// The scan as a Vanjee PointCloud2: x, y, z, intensity (float32 at 0, 4, 8, 12), ring
  /// (uint16 at 16), timestamp (float64 s after the stamp, at 18), point_step 26.
  sensor_msgs::msg::PointCloud2 vanjee_message(const SimulatedScan & scan) const;
  /// The ground truth: valid points at the scan end in the output frame, fields x, y, z,
  /// intensity, curvature (float32 at 0, 4, 8, 12, 16), stamped with the scan end time.
  sensor_msgs::msg::PointCloud2 truth_message(const SimulatedScan & scan) const;

  /// The next message in receive-time order (IMU samples on receipt, each scan when its last
  /// point is in, its truth right after it); false at the end.
  bool next(SynthMessage & message);

private:
  SynthConfig config_;
  Trajectory trajectory_;
  Scene scene_;
  std::size_t scan_count_{0};
  std::size_t imu_count_{0};

  std::size_t next_scan_{0};
  std::size_t next_imu_{0};
  std::shared_ptr<const sensor_msgs::msg::PointCloud2> pending_truth_;
  int64_t pending_truth_time_{0};
  SimulatedScan scratch_;
};

}  // namespace synth
}  // namespace sweepmend

#endif  // SYNTH__GENERATOR_HPP_
