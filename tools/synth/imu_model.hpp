// What an IMU rigidly mounted beside the LiDAR measures along a trajectory.
#ifndef SYNTH__IMU_MODEL_HPP_
#define SYNTH__IMU_MODEL_HPP_

#include <cstdint>

#include <Eigen/Core>

#include "synth/trajectory.hpp"

namespace sweepmend
{
namespace synth
{

/// Gravity of the synthetic world, m/s² along −z (the value the compensation assumes).
constexpr double kGravity = 9.81;
/// One g, m/s²: the unit of Livox IMU accelerations.
constexpr double kStandardGravity = 9.80665;

/// The LiDAR-to-IMU extrinsic as the node is configured with it (parameters extrinsic_R,
/// extrinsic_T): a point p in the LiDAR frame is R·p + T in the IMU frame, which is also the
/// frame of the node's output clouds.
struct Extrinsic
{
  Eigen::Matrix3d rotation{Eigen::Matrix3d::Identity()};
  Eigen::Vector3d translation{Eigen::Vector3d::Zero()};  ///< m

  /// Mid-360: the IMU sits at (11.0, 23.29, −44.12) mm in the point frame, axes aligned.
  static Extrinsic mid360() {return {Eigen::Matrix3d::Identity(), {-0.011, -0.02329, 0.04412}};}

  Eigen::Vector3d apply(const Eigen::Vector3d & p) const {return rotation * p + translation;}
  /// Origin of the IMU frame in the LiDAR frame, m.
  Eigen::Vector3d imu_position() const {return -(rotation.transpose() * translation);}
};

/// One IMU sample in the IMU frame.
struct ImuReading
{
  Eigen::Vector3d angular_velocity{Eigen::Vector3d::Zero()};  ///< rad/s
  Eigen::Vector3d specific_force{Eigen::Vector3d::Zero()};    ///< m/s², reads +g up at rest
};

/// Noise of the simulated IMU: white noise (standard deviation per sample) plus a constant bias.
struct ImuNoise
{
  double gyro_sigma{0.0};   ///< rad/s
  double accel_sigma{0.0};  ///< m/s²
  Eigen::Vector3d gyro_bias{Eigen::Vector3d::Zero()};   ///< rad/s
  Eigen::Vector3d accel_bias{Eigen::Vector3d::Zero()};  ///< m/s²

  bool is_zero() const
  {
    return gyro_sigma == 0.0 && accel_sigma == 0.0 && gyro_bias.isZero(0.0) &&
           accel_bias.isZero(0.0);
  }
};

/// The exact reading of an ideal IMU when the LiDAR frame moves as k describes. The IMU is at
/// extrinsic.imu_position() in the LiDAR frame, so its acceleration carries the lever-arm terms
/// α×r + ω×(ω×r); specific force = R_imuᵀ·(a_imu − g).
ImuReading ideal_imu(const Kinematics & k, const Extrinsic & extrinsic);

/// reading plus bias and white noise; draw number index of the stream keyed by seed.
ImuReading add_noise(const ImuReading & reading, const ImuNoise & noise, uint64_t seed,
  uint64_t index);

}  // namespace synth
}  // namespace sweepmend

#endif  // SYNTH__IMU_MODEL_HPP_
