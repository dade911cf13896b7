#include "synth/imu_model.hpp"

#include "synth/rng.hpp"

namespace sweepmend
{
namespace synth
{

namespace
{
constexpr uint64_t kImuNoiseStream = 0x696d75;  // "imu"
}  // namespace

ImuReading ideal_imu(const Kinematics & k, const Extrinsic & extrinsic)
{
  const Eigen::Vector3d r = extrinsic.imu_position();
  const Eigen::Vector3d & w = k.angular_velocity;
  const Eigen::Vector3d & dw = k.angular_acceleration;
  // Everything in the LiDAR frame first: gravity-free acceleration of the LiDAR origin seen in
  // the body, plus the rigid-body terms that carry it to the IMU's position.
  const Eigen::Vector3d gravity(0.0, 0.0, -kGravity);
  const Eigen::Vector3d force_lidar = k.rotation.transpose() * (k.acceleration - gravity) +
    dw.cross(r) + w.cross(w.cross(r));
  ImuReading reading;
  reading.angular_velocity = extrinsic.rotation * w;
  reading.specific_force = extrinsic.rotation * force_lidar;
  return reading;
}

ImuReading add_noise(const ImuReading & reading, const ImuNoise & noise, uint64_t seed,
  uint64_t index)
{
  Rng rng(seed, kImuNoiseStream, index);
  ImuReading out = reading;
  for (int i = 0; i < 3; ++i) {
    out.angular_velocity[i] += noise.gyro_bias[i] + noise.gyro_sigma * rng.normal();
  }
  for (int i = 0; i < 3; ++i) {
    out.specific_force[i] += noise.accel_bias[i] + noise.accel_sigma * rng.normal();
  }
  return out;
}

}  // namespace synth
}  // namespace sweepmend
