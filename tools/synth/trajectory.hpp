// Smooth sensor trajectories with exact velocity, acceleration and angular rate at every instant.
#ifndef SYNTH__TRAJECTORY_HPP_
#define SYNTH__TRAJECTORY_HPP_

#include <string>
#include <vector>

#include <Eigen/Core>
#include <Eigen/Geometry>

namespace sweepmend
{
namespace synth
{

/// The motion profiles the generator knows.
enum class Motion
{
  kRest,   ///< never moves
  kSpin,   ///< turns about the vertical axis at about 90 °/s
  kWalk,   ///< carried at about 1.4 m/s round an ellipse, with bobbing, sway and hand jitter
  kShake,  ///< fast rotations of about ±15° about every axis at 1 to 3 Hz, small translations
  kDrive,  ///< about 5 m/s along a figure eight (left and right turns) with body roll and vibration
};

/// "rest", "spin", "walk", "shake", "drive"; parse_motion() returns false for anything else.
const char * motion_name(Motion motion);
bool parse_motion(const std::string & text, Motion & motion);

/// One sinusoid a·sin(2π·f·t + φ); a in metres or radians.
struct Oscillation
{
  double amplitude{0.0};
  double frequency_hz{0.0};
  double phase{0.0};  ///< rad
};

/// Everything that shapes a trajectory. The sensor rests, level, for rest_duration; then every
/// motion fades in over ramp_duration through a quintic smooth step, so that position and
/// attitude are twice continuously differentiable everywhere (acceleration and angular rate are
/// continuous, as a real IMU would measure them).
struct MotionParams
{
  enum class Path { kNone, kEllipse, kFigureEight };

  double rest_duration{1.0};  ///< s, level and still
  double ramp_duration{1.0};  ///< s, from still to full motion

  Eigen::Vector3d origin{0.0, 0.0, 1.2};  ///< m, world frame (z up), start of a path
  double yaw{0.2};                        ///< rad, heading at rest

  /// Horizontal path that starts at the origin, turned by yaw: an ellipse x = a·(cos θ − 1),
  /// y = b·sin θ, or a figure eight x = a·sin θ, y = (b/2)·sin 2θ. The heading follows the
  /// path's tangent (plus yaw).
  Path path{Path::kNone};
  double path_a{0.0};      ///< m
  double path_b{0.0};      ///< m
  double path_speed{0.0};  ///< m/s, mean speed along the path once ramped up

  double spin_rate{0.0};  ///< rad/s, extra yaw rate once ramped up

  /// Oscillations about the moving base, in the heading frame (x forward, y left, z up):
  /// surge, sway and heave in metres; roll, pitch and yaw in radians.
  std::vector<Oscillation> surge, sway, heave, roll, pitch, yaw_wobble;

  /// The brisk default for each profile.
  static MotionParams preset(Motion motion);
};

/// Pose and motion of the LiDAR frame at one instant. World frame: z up, gravity −z.
struct Kinematics
{
  Eigen::Matrix3d rotation{Eigen::Matrix3d::Identity()};  ///< LiDAR frame → world
  Eigen::Vector3d position{Eigen::Vector3d::Zero()};      ///< m, world
  Eigen::Vector3d velocity{Eigen::Vector3d::Zero()};      ///< m/s, world
  Eigen::Vector3d acceleration{Eigen::Vector3d::Zero()};  ///< m/s², world
  Eigen::Vector3d angular_velocity{Eigen::Vector3d::Zero()};      ///< rad/s, LiDAR frame
  Eigen::Vector3d angular_acceleration{Eigen::Vector3d::Zero()};  ///< rad/s², LiDAR frame
};

/// A trajectory of the LiDAR frame over time t in seconds since the start of the recording.
class Trajectory
{
public:
  explicit Trajectory(const MotionParams & params);

  /// Full state at t (s); exact, analytic derivatives.
  Kinematics at(double t) const;

  /// Pose only (LiDAR frame → world) at t (s).
  Eigen::Isometry3d pose(double t) const;

  const MotionParams & params() const {return params_;}

private:
  MotionParams params_;
  double path_rate_{0.0};  // rad/s of the path parameter θ at full speed
};

}  // namespace synth
}  // namespace sweepmend

#endif  // SYNTH__TRAJECTORY_HPP_
